// The messages the project added to the tool's historic texts: each one line on standard
// error, beginning "avrig: ". The historic texts keep standard output to themselves.
#pragma once

#include <string>

// Prints "avrig: " and the formatted text and a line end on standard error, after flushing
// standard output, so the line stands after what the tool printed before it.
void Complain(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `text` with every control byte shown as \xNN, for names in messages: a name holding a
// line end would otherwise print as two lines, the second posing as a message of its own.
// So are the C1 controls (U+0080..U+009F) and every byte that is not valid UTF-8, which a
// terminal may take as the start of a command; letters such as "é" stay as they are.
std::string Printable(const std::string& text);
