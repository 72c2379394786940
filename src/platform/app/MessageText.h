#pragma once
// Messages as text, for the command-line companions: one line per message, and fields
// given as name:type=value.
//
// A line is the code, then each field as name=value in order, separated by blanks:
//   M23d objectid=0 x=-31.25 y=0.5 z=64.0
// int32 values print as integers, floats always with a point or an exponent (64.0), bools
// as true/false, strings in double quotes with \" \\ \n \t and \xHH escapes. A name that
// holds a blank, '=', '"' or '\' is quoted the same way. A code of four printable
// characters prints as those characters, any other code as 0x and eight hex digits.

#include <string>

#include "platform/app/BMessage.h"

std::string code_to_text(uint32 code);
// "0x" and one to eight hex digits, or one to four characters packed most significant first
// and padded with zero bytes ("ab" is 0x61620000). false, with the reason, otherwise.
bool text_to_code(const std::string& text, uint32* code, std::string* error);

std::string message_to_line(const BMessage& message);

// Adds one field written name:type=value; type is int32, float, string or bool (bool values
// true/false, 1/0, yes/no, on/off). false, with the reason, when the text is not a field.
bool add_field_from_text(const std::string& text, BMessage* message, std::string* error);
