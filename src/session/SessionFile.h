#pragma once
// The session file (docs/sessions.md): a zip container holding manifest.json, which names
// everything and holds every value, and one PNG picture per example and key frame.
//
// Decoding checks everything (the container, the manifest, every picture, every histogram)
// before it returns a session: a file is either taken whole or refused with one reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "session/Session.h"

// The layout version this program writes and the newest it reads.
inline constexpr int kSessionVersion = 1;
// The name of the file the manifest is in, and the value of its "format" field.
inline constexpr const char kSessionManifest[] = "manifest.json";
inline constexpr const char kSessionFormat[] = "zanvel-session";
// Largest session file read, and largest picture or manifest inside one.
inline constexpr size_t kSessionMaxFileBytes = size_t(1) << 30;
inline constexpr size_t kSessionMaxEntryBytes = size_t(64) << 20;

bool EncodeSession(const Session& session, std::vector<unsigned char>* bytes, std::string* why);
bool DecodeSession(const unsigned char* bytes, size_t size, Session* session, std::string* why);

// Writes the session to path safely (see SafeFile.h); why names the problem, not the path.
bool SaveSessionFile(const std::string& path, const Session& session, std::string* why);
bool LoadSessionFile(const std::string& path, Session* session, std::string* why);
