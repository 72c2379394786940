#include "platform/app/MessageText.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char hex[8];
          snprintf(hex, sizeof(hex), "\\x%02x", c);
          out += hex;
        } else {
          out += char(c);
        }
    }
  }
  return out + "\"";
}

std::string FloatText(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  auto [end, ec] = std::to_chars(text, text + sizeof(text), value);
  std::string out(text, ec == std::errc() ? end : text);
  if (out.find_first_of(".e") == std::string::npos) out += ".0";
  return out;
}

std::string Lower(std::string text) {
  for (char& c : text) c = char(tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string code_to_text(uint32 code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    unsigned char c = static_cast<unsigned char>(code >> shift);
    if (c <= ' ' || c >= 0x7f) {
      char hex[16];
      snprintf(hex, sizeof(hex), "0x%08x", code);
      return hex;
    }
    text += char(c);
  }
  return text;
}

bool text_to_code(const std::string& text, uint32* code, std::string* error) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::string digits = text.substr(2);
    if (digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      *error = "\"" + text + "\" is not a code: after 0x come one to eight hex digits";
      return false;
    }
    *code = uint32(strtoul(digits.c_str(), nullptr, 16));
    return true;
  }
  if (text.empty() || text.size() > 4) {
    *error = "\"" + text + "\" is not a code: give one to four characters (like M23d) or 0x and hex digits";
    return false;
  }
  uint32 packed = 0;
  for (size_t i = 0; i < 4; i++)
    packed = (packed << 8) | (i < text.size() ? uint32(static_cast<unsigned char>(text[i])) : 0);
  *code = packed;
  return true;
}

std::string message_to_line(const BMessage& message) {
  std::string line = code_to_text(message.what);
  for (int32 i = 0; i < message.CountFields(); i++) {
    const BMessage::Field* f = message.FieldAt(i);
    line += ' ';
    line += f->name.find_first_of(" =\"\\\t\n") == std::string::npos ? f->name : Quote(f->name);
    line += '=';
    switch (f->type) {
      case B_INT32_TYPE: line += std::to_string(std::get<int32>(f->value)); break;
      case B_FLOAT_TYPE: line += FloatText(std::get<float>(f->value)); break;
      case B_BOOL_TYPE: line += std::get<bool>(f->value) ? "true" : "false"; break;
      case B_STRING_TYPE: line += Quote(std::get<std::string>(f->value)); break;
    }
  }
  return line;
}

bool add_field_from_text(const std::string& text, BMessage* message, std::string* error) {
  size_t equals = text.find('=');
  size_t colon = equals == std::string::npos ? std::string::npos : text.rfind(':', equals);
  if (equals == std::string::npos || colon == std::string::npos || colon == 0) {
    *error = "\"" + text + "\" is not a field: write name:type=value, for example x:float=0.5";
    return false;
  }
  std::string name = text.substr(0, colon);
  std::string type = Lower(text.substr(colon + 1, equals - colon - 1));
  std::string value = text.substr(equals + 1);
  const std::string where = "field \"" + name + "\": ";
  status_t status;
  if (type == "int32") {
    errno = 0;
    char* end = nullptr;
    long long v = strtoll(value.c_str(), &end, 0);
    if (value.empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) {
      *error = where + "\"" + value + "\" is not a 32-bit integer";
      return false;
    }
    status = message->AddInt32(name.c_str(), int32(v));
  } else if (type == "float") {
    errno = 0;
    char* end = nullptr;
    float v = strtof(value.c_str(), &end);
    if (value.empty() || *end != '\0' || errno == ERANGE) {
      *error = where + "\"" + value + "\" is not a number";
      return false;
    }
    status = message->AddFloat(name.c_str(), v);
  } else if (type == "bool") {
    std::string v = Lower(value);
    bool on;
    if (v == "true" || v == "1" || v == "yes" || v == "on") {
      on = true;
    } else if (v == "false" || v == "0" || v == "no" || v == "off") {
      on = false;
    } else {
      *error = where + "\"" + value + "\" is not a bool (true or false)";
      return false;
    }
    status = message->AddBool(name.c_str(), on);
  } else if (type == "string") {
    status = message->AddString(name.c_str(), value);
  } else {
    *error = where + "unknown type \"" + type + "\" (use int32, float, string or bool)";
    return false;
  }
  if (status == B_BAD_TYPE) {
    *error = where + "the name already holds a value of another type";
    return false;
  }
  if (status != B_OK) {
    *error = where + "refused (name longer than 255 bytes or value too long)";
    return false;
  }
  return true;
}
