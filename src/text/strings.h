#pragma once
// The two string kinds the service works with. Paths and audio endpoint ids
// are UTF-16 code units; everything on the wire, in JSON and in logs is bytes
// meant as UTF-8 and never validated.
#include <string>

using WideString = std::u16string;
using Utf8String = std::string;
