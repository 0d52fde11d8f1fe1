// Loading a picture from a file: open it, decode it with PngLoader into a new
// Image row by row, close it. The file name's extension plays no part.
//
// Called on the thread that builds the scene; the image is shared only after
// it has been returned.
#pragma once

#include "image/image.h"
#include "image/image_loader.h"

#include <memory>

namespace zelvor {

// Throws Win32Exception when the file cannot be opened, IoException when it
// does not decode, std::bad_alloc when the image cannot be allocated; nothing
// stays open or allocated after a failure.
std::shared_ptr<IImage> loadImage(const char* fileName);

// Decodes every row of every pass of a loader into a new Image of its
// geometry and layout.
std::shared_ptr<IImage> readImage(IImageLoader& loader);

}  // namespace zelvor
