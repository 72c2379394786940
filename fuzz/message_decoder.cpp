#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/app/BMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BMessage message;
  std::string why;
  if (message.Unflatten(data, size, &why) != B_OK) {
    if (why.empty()) abort();  // every refusal says why
    return 0;
  }
  // The encoding is canonical: what decodes must flatten to exactly the input.
  std::vector<uint8> again = message.Flatten();
  if (again.size() != size || !std::equal(again.begin(), again.end(), data)) abort();
  return 0;
}
