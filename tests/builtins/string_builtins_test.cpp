// Memory, string, conversion, formatting and checksum built-ins, called from
// scripts through the real compiler and dispatcher.
#include "builtins/general_builtins_test_util.h"

namespace zelt::hosttest {
namespace {

std::string i32(uint32_t v) { return std::to_string(static_cast<int32_t>(v)); }

const char* kGlobals = "int b; int c; int p; int r; int i; char *q; int *ip;\n";
const char* kPrelude = "b = malloc(256); c = malloc(256);";
const char* kEpilogue = "free(b); free(c);";

class StringBuiltins : public ScriptCases {};

TEST_F(StringBuiltins, Memory) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"malloc gives a usable block", "p = malloc(16); memset(p, 0x141, 16); q = p; out(q[15] + (p != b) * 1000); free(p);", "1065"},
                {"malloc of a negative size fails", "out(malloc(-1));", "0"},
                {"realloc of 0 allocates", "p = realloc(0, 8); out(p != 0); free(p);", "1"},
                {"realloc keeps the contents", "p = malloc(4); strcpy(p, \"abc\"); p = realloc(p, 4000); outs(p); free(p);", "abc"},
                {"free ignores 0 and addresses that are not blocks", "out(free(0) + free(12345) + free(b + 4));", "3"},
                {"memcpy copies", "strcpy(b, \"hello\"); memcpy(c, b, 6); outs(c);", "hello"},
                {"memcpy beyond usable memory fails without writing",
                 "strcpy(c, \"keep\"); r = memcpy(c, b, 0x7FFFFFFF); out(r * 10 + (memcmp(c, \"keep\", 5) == 0));", "1"},
                {"memcpy from a wild address fails", "out(memcpy(b, 16, 4) + memcpy(16, b, 4) * 10);", "0"},
                {"memcpy of nothing succeeds", "out(memcpy(16, 16, 0));", "1"},
                {"memmove handles overlap", "strcpy(b, \"abcdef\"); memmove(b + 1, b, 5); outs(b);", "aabcde"},
                {"memset uses the low byte", "memset(b, 0x1234, 3); q = b; out(q[0] * 1000 + q[2]);", "52052"},
                {"memset beyond usable memory fails", "out(memset(b, 0, -1));", "0"},
                {"memcmp compares unsigned",
                 "q = b; q[0] = 0x61; q[1] = 0x62; q = c; q[0] = 0x61; q[1] = 0xFF; out(memcmp(b, c, 2));", "-1"},
                {"memcmp of nothing is 0", "out(memcmp(b, 16, 0));", "0"},
                {"memswap exchanges", "strcpy(b, \"abc\"); strcpy(c, \"xyz\"); memswap(b, c, 3); strcat(b, c); outs(b);", "xyzabc"},
                {"memswap of a negative count does nothing", "out(memswap(16, 16, -5));", "1"},
            });
}

TEST_F(StringBuiltins, Strings) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"strlen and strclen of full-width text", "p = \"\x82\xa0\x82\xa2\"; out(strlen(p) * 10 + strclen(p));", "42"},
                {"strclen skips a lead byte before the terminator", "strcpy(b, \"ab\"); q = b; q[1] = 0x82; out(strclen(b));", "1"},
                {"strlen of a wild address", "out(strlen(16));", "0"},
                {"strchr finds the last occurrence", "p = \"a,b,c\"; out(strchr(p, ',') - p);", "3"},
                {"strchr of an absent character", "out(strchr(\"abc\", 'z'));", "0"},
                {"strchr of a two-byte character", "p = \"\x82\xa0x\x82\xa0y\"; out(strchr(p, 0x82a0) - p);", "3"},
                {"strchr never matches a trail byte", "out(strchr(\"\x82\x61\", 0x61));", "0"},
                {"strchr of 0 finds the terminator", "p = \"abc\"; out(strchr(p, 0) - p);", "3"},
                {"strncpy never splits a character",
                 "memset(b, 'z', 8); strncpy(b, \"\x82\xa0\", 1); q = b; out(q[0] * 1000 + q[1]);", "122"},
                {"strncpy cuts before a character that does not fit",
                 "memset(b, 'z', 8); strncpy(b, \"a\x82\xa0\", 2); q = b; out(q[0] * 1000 + q[1]);", "97000"},
                {"strncpy pads with zeros up to n",
                 "memset(b, 'z', 8); strncpy(b, \"ab\", 5); q = b; out(q[1] * 1000 + q[4] * 100 + q[5]);", "98122"},
                {"strcpy to a wild address fails", "out(strcpy(16, \"x\"));", "0"},
                {"strcat appends", "strcpy(b, \"ab\"); strcat(b, \"cd\"); outs(b);", "abcd"},
                {"strcmp", "out(strcmp(\"abc\", \"abd\") * 10 + strcmp(\"b\", \"a\") + strcmp(\"ab\", \"ab\"));", "-9"},
                {"strcmp compares a double-byte character as a unit", "out(strcmp(\"\xb1\", \"\x82\xa0\"));", "-1"},
                {"strcmpi ignores the case of ASCII letters", "out(strcmpi(\"HeLLo\", \"hello\"));", "0"},
                {"strcmpi ignores the case of full-width letters", "out(strcmpi(\"\x82\x60\", \"\x82\x81\"));", "0"},
                {"strlwr converts double-byte letters", "strcpy(b, \"A\x82\x60Z\x82\xa0\"); strlwr(b); outs(b);", "a\x82\x81z\x82\xa0"},
                {"strupr converts double-byte letters", "strcpy(b, \"a\x82\x81z\x83\xbf\"); strupr(b); outs(b);", "A\x82\x60Z\x83\x9f"},
                {"strlwr of 0", "out(strlwr(0));", "0"},
                {"strtok splits at any delimiter",
                 "strcpy(b, \"a, b,,c\"); strcpy(c, \"\"); p = strtok(b, \", \");\n"
                 "  while (p) { strcat(c, p); strcat(c, \"|\"); p = strtok(0, \", \"); } outs(c);",
                 "a|b|c|"},
                {"strtok with a double-byte delimiter",
                 "strcpy(b, \"x\x81\x41y\"); strcpy(c, \"\"); p = strtok(b, \"\x81\x41\");\n"
                 "  while (p) { strcat(c, p); strcat(c, \"|\"); p = strtok(0, \"\x81\x41\"); } outs(c);",
                 "x|y|"},
                {"strtok of delimiters only", "strcpy(b, \",,\"); out(strtok(b, \",\"));", "0"},
                {"strcspn and strspn", "out(strcspn(\"abc,de\", \",\") * 10 + strspn(\"aab,c\", \"ab\"));", "33"},
                {"strstr finds a match", "p = \"\x82\x61\" \"ab\"; out(strstr(p, \"ab\") - p);", "2"},
                {"strstr never matches from a trail byte", "out(strstr(\"\x82\x61\" \"ab\", \"aa\"));", "0"},
                {"strpbrk", "p = \"abc\"; out(strpbrk(p, \"xc\") - p);", "2"},
                {"strdup", "p = strdup(\"hey\"); outs(p); free(p);", "hey"},
                {"strndup with a negative count copies everything", "p = strndup(\"hello\", -1); outs(p); free(p);", "hello"},
                {"strndup copies at most n bytes", "p = strndup(\"hello\", 2); outs(p); free(p);", "he"},
            });
}

TEST_F(StringBuiltins, ConversionAndFormatting) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"strtol stores the end", "p = \"  -123xyz\"; r = strtol(p, b, 10); ip = b; out(r * 100 + (ip[0] - p));", "-12294"},
                {"strtol without a number ends at the start", "p = \"xyz\"; strtol(p, b, 10); ip = b; out(ip[0] - p);", "0"},
                {"strtol clamps to 32 bits", "out(strtol(\"99999999999\", 0, 10));", "2147483647"},
                {"strtol clamps negative values", "out(strtol(\"-99999999999\", 0, 10));", "-2147483648"},
                {"strtol base 0 reads hex", "out(strtol(\"0x1F\", 0, 0));", "31"},
                {"strtoul negates in 32 bits", "out(strtoul(\"-1\", 0, 10));", "-1"},
                {"strtoul clamps", "out(strtoul(\"4294967296\", 0, 10));", "-1"},
                {"strtof", "ftoa(b, strtof(\"2.5e1\", 0)); outs(b);", "25.000000"},
                {"ftoa", "ftoa(b, 1.5); outs(b);", "1.500000"},
                {"sprintf returns the length", "out(sprintf(b, \"%d-%s\", 5, \"x\"));", "3"},
                {"sprintf writes", "sprintf(b, \"%d-%s\", 5, \"x\"); outs(b);", "5-x"},
                {"%f reads two cells as one double", "sprintf(b, \"%.1f|%d\", 0, 0x3FF80000, 7); outs(b);", "1.5|7"},
                {"%lld and %I64x read two cells", "sprintf(b, \"%lld|%I64x|%d\", -1, -1, 0, 1, 9); outs(b);", "-1|100000000|9"},
                {"flags, width, precision and *",
                 "sprintf(b, \"[%-*d|%.*s|%04X|%c|%+d|%%]\", 4, 7, 2, \"abc\", 255, 65, 3); outs(b);", "[7   |ab|00FF|A|+3|%]"},
                {"%hd and %hhu truncate", "sprintf(b, \"%hd %hhu\", 65537, 257); outs(b);", "1 1"},
                {"%s of a wild address", "sprintf(b, \"%s\", 16); outs(b);", "(null)"},
                {"%n writes nothing", "i = 5; sprintf(b, \"a%nb%d\", &i, 3); out(i * 10 + strlen(b));", "53"},
                {"%p", "sprintf(b, \"%p\", 0x1234); outs(b);", "00001234"},
                {"sprintf to a wild address", "out(sprintf(16, \"x\"));", "-1"},
                {"sprintf past the end of usable memory writes nothing",
                 "strcpy(b, \"keep\"); r = sprintf(b, \"%999999999d\", 1); outs(r == -1 ? b : \"written\");", "keep"},
                {"a format asking for more cells than passed", "out(sprintf(b, \"%d %d %d %d %d %d %d %d %s\", 1) > 0);", "1"},
                {"splitpath",
                 "splitpath(\"c:\\\\dir\\\\sub/file.tar.gz\", b, c, b + 16, b + 128);\n"
                 "  sprintf(b + 200, \"%s|%s|%s|%s\", b, c, b + 16, b + 128); outs(b + 200);",
                 "c:|\\dir\\sub/|file.tar|.gz"},
                {"splitpath with absent parts and null buffers", "splitpath(\"noext\", 0, c, b, 0); out(strlen(c) * 10 + strlen(b));", "5"},
                {"makepath adds the separators", "makepath(b, \"c\", \"dir\", \"file\", \"txt\"); outs(b);", "c:dir\\file.txt"},
                {"makepath keeps separators that are there", "makepath(b, \"\", \"dir/\", \"file\", \".txt\"); outs(b);", "dir/file.txt"},
                {"makepath with null parts", "makepath(b, 0, 0, \"f\", 0); outs(b);", "f"},
            });
}

TEST_F(StringBuiltins, Checksums) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"hash32 check value", "out(hash32(\"abc\"));", i32(0x024A0126)},
                {"hash32 of empty and null strings", "out(hash32(\"\") + hash32(0));", "0"},
                {"crc16 check value", "out(crc16(\"123456789\", 9));", i32(0xFFFFD64E)},
                {"crc16 of nothing", "out(crc16(\"123456789\", 0));", i32(0xFFFF0000)},
                {"crc32 check value", "out(crc32(\"123456789\", 9));", i32(0xFC891918)},
                {"crc32 of nothing", "out(crc32(\"1\", -4));", "0"},
                {"crc32 of a wild address", "out(crc32(16, 4));", "0"},
            });
}

}  // namespace
}  // namespace zelt::hosttest
