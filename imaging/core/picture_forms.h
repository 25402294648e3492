// The seven forms a picture is written in (the viewer's Export and pelorn
// share them): what names each form's files, how many colours its palette
// holds, and one call that reduces the colours where the form needs a
// palette and then runs the form's writer.
#pragma once

#include <cstdint>

#include "imaging/core/pelorn.h"

enum class PictureForm { kJpeg, kPng24, kPng8, kBmp24, kBmp8, kBmp4, kGif };

// The extension of the form's files, without the dot: "jpg", "png", "bmp" or "gif".
const char* FormExtension(PictureForm form);

// Colours of the form's palette; 0 for the forms written from RGB.
int32_t FormPaletteColors(PictureForm form);

// The form a file name's extension names, in any letter case: .jpg and .jpeg
// JPEG, .gif GIF; .png and .bmp the `chosen` form when it writes that kind of
// file, else the 24-bit one. False (and `*named` untouched) for a name that
// ends in none of these.
bool FormOfFileName(const char* path, PictureForm chosen, PictureForm* named);

// Writes width x height RGB pixels (rows from the top down) in the form: the
// paletted forms are reduced with QuantizeRgb to FormPaletteColors first (a
// GIF keeps no transparent colour); JPEG is written in colour, not
// progressive, at `jpegQuality`. 1 on success; 0 with the thread's last error
// code set, 1 when the colour indices cannot be held.
int32_t WriteFormFile(PictureForm form, const char* path, const uint8_t* rgb, int32_t width,
                      int32_t height, int32_t jpegQuality);
