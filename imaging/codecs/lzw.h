// GIF code stream: LZW decoder and run-length code writer.
#pragma once
