#include "library/converter.h"

#include <windows.h>

#include "text/utf.h"

namespace {

struct CodePage {
  const char* name;
  UINT page;
};

// The detector's names, and the Windows code pages that decode them.
constexpr CodePage kPages[] = {
    {"GB18030", 54936},       {"GB2312", 936},          {"GBK", 936},
    {"HZ-GB-2312", 52936},    {"BIG5", 950},            {"SHIFT_JIS", 932},
    {"EUC-JP", 20932},        {"ISO-2022-JP", 50220},   {"EUC-KR", 949},
    {"UHC", 949},             {"ISO-2022-KR", 50225},   {"ISO-8859-1", 28591},
    {"ISO-8859-2", 28592},    {"ISO-8859-3", 28593},    {"ISO-8859-4", 28594},
    {"ISO-8859-5", 28595},    {"ISO-8859-6", 28596},    {"ISO-8859-7", 28597},
    {"ISO-8859-8", 28598},    {"ISO-8859-9", 28599},    {"ISO-8859-11", 874},
    {"ISO-8859-13", 28603},   {"ISO-8859-15", 28605},   {"WINDOWS-1250", 1250},
    {"WINDOWS-1251", 1251},   {"WINDOWS-1252", 1252},   {"WINDOWS-1253", 1253},
    {"WINDOWS-1254", 1254},   {"WINDOWS-1255", 1255},   {"WINDOWS-1256", 1256},
    {"WINDOWS-1257", 1257},   {"WINDOWS-1258", 1258},   {"TIS-620", 874},
    {"KOI8-R", 20866},        {"KOI8-U", 21866},        {"IBM852", 852},
    {"IBM855", 855},          {"IBM866", 866},          {"MAC-CENTRALEUROPE", 10029},
    {"MAC-CYRILLIC", 10007},
};

bool decode(UINT page, const std::string& bytes, WideString& wide) {
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(page, 0, bytes.data(), length, nullptr, 0);
  if (units <= 0) return false;
  wide.resize(static_cast<std::size_t>(units));
  return MultiByteToWideChar(page, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(wide.data()),
                             units) == units;
}

}  // namespace

bool convert_to_utf8(const Utf8String& encoding, const std::string& bytes, Utf8String& text) {
  for (const CodePage& page : kPages) {
    if (encoding != page.name) continue;
    if (bytes.empty()) {
      text.clear();
      return true;
    }
    WideString wide;
    // GBK is GB18030's two-byte part, for systems without code page 54936.
    if (!decode(page.page, bytes, wide) && !(page.page == 54936 && decode(936, bytes, wide))) {
      return false;
    }
    text = utf16_to_utf8(wide);
    return true;
  }
  return false;
}
