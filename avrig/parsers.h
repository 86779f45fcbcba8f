// Numeric arguments as the tool has always read them: no sign, no blanks, no error; they
// take what they can and always store a result (32-bit, wrapping).
#pragma once

int StrToDecimalNumber(const char* str, int* out, unsigned len);
int StrToHexNumber(const char* str, int* out, unsigned len);
