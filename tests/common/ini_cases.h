// One table of INI file cases, run natively against the portable reader and writer and under
// Wine against the private-profile functions, so that the two are shown to agree.
#pragma once

#include <string>

struct IniReadCase {
    const char* what;
    std::string file;  // "\x01" alone: no file at all
    const char* section;
    const char* key;
    std::string expected;  // the fallback is "fallback"
};

struct IniWriteCase {
    const char* what;
    std::string before;  // "\x01" alone: no file at all
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

const char NO_FILE[] = "\x01";

inline const IniReadCase INI_READ_CASES[] = {
    {"plain", "[Config]\r\nAuto Mode=true\r\n", "Config", "Auto Mode", "true"},
    {"names without regard to case", "[CONFIG]\r\nauto MODE=true\r\n", "Config", "Auto Mode", "true"},
    {"blanks around names and values", "  [Config]\r\n  Auto Mode  =  true  \r\n", "Config", "Auto Mode", "true"},
    {"blanks inside a value stay", "[Config]\r\nAU List= a , b \r\n", "Config", "AU List", "a , b"},
    {"quotes around a value go", "[Config]\r\nAU List=\"a, b \"\r\n", "Config", "AU List", "a, b "},
    {"a lone quote stays", "[Config]\r\nAU List=\"a\r\n", "Config", "AU List", "\"a"},
    {"empty value", "[Config]\r\nAU List=\r\n", "Config", "AU List", ""},
    {"comment line", "[Config]\r\n;AU List=a\r\n", "Config", "AU List", "fallback"},
    {"first key wins", "[Config]\r\nk=1\r\nk=2\r\n", "Config", "k", "1"},
    {"key of another section", "[Other]\r\nk=1\r\n[Config]\r\nj=2\r\n", "Config", "k", "fallback"},
    {"key before any section", "k=1\r\n[Config]\r\n", "Config", "k", "fallback"},
    {"missing section", "[Other]\r\nk=1\r\n", "Config", "k", "fallback"},
    {"missing file", NO_FILE, "Config", "k", "fallback"},
    {"empty file", "", "Config", "k", "fallback"},
    {"LF line ends", "[Config]\nk=1\nj=2\n", "Config", "j", "2"},
    {"last line without line end", "[Config]\r\nk=1", "Config", "k", "1"},
    {"bytes above 0x7F", "[Config]\r\nk=\x83\x5C\x83\x74\x83\x67\r\n", "Config", "k", "\x83\x5C\x83\x74\x83\x67"},
    {"value cut to the buffer", "[Config]\r\nk=" + std::string(5000, 'v') + "\r\n", "Config", "k",
     std::string(4095, 'v')},
};

inline const IniWriteCase INI_WRITE_CASES[] = {
    {"creates the file", NO_FILE, "Config", "Auto Mode", "true", "[Config]\r\nAuto Mode=true\r\n"},
    {"replaces only that value",
     "[Config]\r\nAU List=a\r\nAuto Mode=false\r\nDocomo List=b\r\n", "Config", "Auto Mode", "true",
     "[Config]\r\nAU List=a\r\nAuto Mode=true\r\nDocomo List=b\r\n"},
    {"adds the key to its section",
     "[Config]\r\nAU List=a\r\n[Other]\r\nx=1\r\n", "Config", "Auto Mode", "false",
     "[Config]\r\nAU List=a\r\nAuto Mode=false\r\n[Other]\r\nx=1\r\n"},
    {"adds the section", "[Other]\r\nx=1\r\n", "Config", "Auto Mode", "true",
     "[Other]\r\nx=1\r\n[Config]\r\nAuto Mode=true\r\n"},
};
