#include "imaging/core/codec.h"

#include "imaging/core/thread_state.h"

PelornCodec::PelornCodec() { ++GetThreadState().operationDepth; }

PelornCodec::~PelornCodec() { --GetThreadState().operationDepth; }
