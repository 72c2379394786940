#pragma once
// Writing a file so that a failure never loses the old one: the bytes go to a new file in the
// same folder, are flushed to the disk, and only then replace the old file by a rename, after
// which the folder is flushed too. Any failure removes the new file and leaves the old one as
// it was.

#include <string>
#include <vector>

// Writes bytes to path; on failure returns false and sets why (one line, without the path).
bool WriteFileSafely(const std::string& path, const std::vector<unsigned char>& bytes, std::string* why);

// Reads the whole file, refusing one larger than maxBytes; on failure sets why.
bool ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<unsigned char>* bytes,
                   std::string* why);
