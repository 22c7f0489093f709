// The JPEG encoder of libjpeg-turbo. Only the platform loader includes this header.
#pragma once

#include <memory>

#include "platform/jpeg_encoder.h"

namespace marrowdale {

// Null when the library cannot be initialised.
std::unique_ptr<JpegEncoder> createTurboJpegEncoder(JpegQuality quality = kDefaultJpegQuality);

}  // namespace marrowdale
