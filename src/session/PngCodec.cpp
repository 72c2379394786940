#include "session/PngCodec.h"

#include <png.h>

#include <cstring>

bool EncodePng(const SessionPicture& picture, std::vector<uint8_t>* png, std::string* why) {
  const size_t count = size_t(picture.width) * size_t(picture.height);
  if (picture.width <= 0 || picture.height <= 0 || picture.pixels.size() != count * picture.BytesPerPixel()) {
    *why = "a picture's size does not match its pixels";
    return false;
  }
  std::vector<uint8_t> rows;
  const void* source = picture.pixels.data();
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(picture.width);
  image.height = png_uint_32(picture.height);
  if (picture.kind == SessionPicture::kGray) {
    image.format = PNG_FORMAT_GRAY;
  } else {
    // Blue, green, red: the fourth byte carries nothing worth keeping.
    image.format = PNG_FORMAT_BGR;
    rows.resize(count * 3);
    for (size_t i = 0; i < count; i++) std::memcpy(&rows[3 * i], &picture.pixels[4 * i], 3);
    source = rows.data();
  }
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, source, 0, nullptr)) {
    *why = std::string("cannot make a PNG picture: ") + image.message;
    png_image_free(&image);
    return false;
  }
  png->resize(size);
  if (!png_image_write_to_memory(&image, png->data(), &size, 0, source, 0, nullptr)) {
    *why = std::string("cannot make a PNG picture: ") + image.message;
    png_image_free(&image);
    return false;
  }
  png->resize(size);
  return true;
}

bool DecodePng(const uint8_t* bytes, size_t size, int32_t maxSide, SessionPicture* picture, std::string* why) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes, size)) {
    *why = std::string("not a readable PNG picture (") + image.message + ")";
    png_image_free(&image);
    return false;
  }
  if (image.width == 0 || image.height == 0 || image.width > png_uint_32(maxSide) ||
      image.height > png_uint_32(maxSide)) {
    *why = "a picture of " + std::to_string(image.width) + "x" + std::to_string(image.height) +
           " pixels (at most " + std::to_string(maxSide) + " a side)";
    png_image_free(&image);
    return false;
  }
  const bool color = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
  picture->kind = color ? SessionPicture::kColor : SessionPicture::kGray;
  // Colour words in memory order; the alpha byte is cleared below.
  image.format = color ? PNG_FORMAT_BGRA : PNG_FORMAT_GRAY;
  picture->width = int32_t(image.width);
  picture->height = int32_t(image.height);
  picture->pixels.assign(PNG_IMAGE_SIZE(image), 0);
  // Transparent pixels over black, so that nothing of the alpha reaches the analysis.
  png_color background = {0, 0, 0};
  if (!png_image_finish_read(&image, &background, picture->pixels.data(), 0, nullptr)) {
    *why = std::string("a damaged PNG picture (") + image.message + ")";
    png_image_free(&image);
    return false;
  }
  if (color)
    for (size_t i = 3; i < picture->pixels.size(); i += 4) picture->pixels[i] = 0;
  return true;
}
