// The built-in table against the numbers, argument counts and result types
// scripts depend on, and the parameter lists the header shows.
#include "builtins/builtin_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace zelt {
namespace {

TEST(BuiltinTable, RowsAreReachableByNumberAndByName) {
  const auto infos = builtin_infos();
  ASSERT_EQ(infos.size(), 317u);
  std::set<std::string> names;
  for (size_t i = 0; i < infos.size(); ++i) {
    EXPECT_TRUE(names.insert(infos[i].name).second) << "duplicate name " << infos[i].name;
    EXPECT_EQ(builtin_info(static_cast<uint32_t>(i)), &infos[i]);
    EXPECT_EQ(find_builtin(infos[i].name), static_cast<int>(i)) << infos[i].name;
  }
  EXPECT_EQ(builtin_info(317), nullptr);
  EXPECT_EQ(builtin_info(0xFFFFFFFFu), nullptr);
  for (const char* unknown : {"", "JUMP", "Sqrt", "sqrt ", "main", "printf"})
    EXPECT_EQ(find_builtin(unknown), -1) << '"' << unknown << '"';
}

// One row from every family of the table, with its number and argument count
// as scripts see them.
TEST(BuiltinTable, FamiliesStartAtTheirNumbers) {
  struct Case {
    const char* name;
    int number;
    int args;
  };
  const Case cases[] = {
      {"jump", 0, 1},         {"exit", 2, 0},          {"thd_begin", 5, 4},     {"ini_seti", 10, 3},
      {"ini_gets", 13, 5},    {"pal_map", 14, 1},      {"gclip", 24, 2},        {"gcopy", 30, 6},
      {"dcopy", 43, 5},       {"p3d_tex", 44, 1},      {"p3d_render", 55, 0},   {"sp_flag", 56, 1},
      {"sp_set", 61, 7},      {"hit_init", 70, 1},     {"setorg", 76, 2},       {"update", 79, 1},
      {"font_list", 80, 2},   {"gtextf", 85, -1},      {"drt_init", 86, 0},     {"midi_load", 89, 1},
      {"snd_load", 100, 2},   {"snd_setreverb", 127, 2}, {"cd_play", 128, 2},   {"media_open", 139, 1},
      {"getkey", 149, 1},     {"fps", 159, 0},         {"reg_new", 160, 1},     {"reg_search", 162, 6},
      {"pack_save", 167, 3},  {"fopen", 173, 2},       {"mload", 183, 3},       {"malloc", 184, 1},
      {"srand", 192, 1},      {"sqrt", 201, 1},        {"linear", 216, 3},      {"kf_setkey", 217, 3},
      {"find_first", 221, 2}, {"rc_empty", 224, 1},    {"strlen", 234, 1},      {"sprintf", 254, -1},
      {"hash32", 257, 1},     {"dir_getpath", 258, 2}, {"file_settime", 271, 4}, {"wallpaper", 272, 2},
      {"freemap", 279, 5},    {"mosaic", 287, 7},      {"ef_init", 291, 5},     {"key_init", 302, 0},
      {"net_open", 304, 2},   {"crc16", 309, 2},       {"dll_load", 311, 1},    {"dll_call", 314, -1},
      {"log_clear", 315, 0},  {"log_out", 316, -1},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(find_builtin(c.name), c.number) << c.name;
    EXPECT_EQ(static_cast<int>(builtin_info(c.number)->arg_count), c.args) << c.name;
  }
}

TEST(BuiltinTable, ArgumentCountsAndResultTypes) {
  std::set<std::string> variable, floats;
  for (const BuiltinInfo& b : builtin_infos()) {
    EXPECT_GE(b.arg_count, -1) << b.name;
    EXPECT_LE(b.arg_count, 7) << b.name;
    if (b.arg_count == -1) variable.insert(b.name);
    if (b.returns_float) floats.insert(b.name);
  }
  EXPECT_EQ(variable, (std::set<std::string>{"sprintf", "gtextf", "dll_call", "log_out"}));
  // A wrong result type makes a float expression read integer bits, or the reverse.
  EXPECT_EQ(floats, (std::set<std::string>{"fabs", "sqrt", "pow", "log", "exp", "floor", "ceil",
                                           "sin", "cos", "tan", "asin", "acos", "atan", "random",
                                           "linear", "bezier", "neville", "kf_getkey", "strtof"}));
}

bool is_identifier(const std::string& s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return true;
}

// The script language's keywords; a parameter named like one would not read
// as a name.
const std::set<std::string> kKeywords = {
    "int",    "void",   "char",     "short",   "long",  "float", "signed", "unsigned", "struct",
    "union",  "static", "extern",   "typedef", "sizeof", "if",   "else",   "for",      "do",
    "while",  "switch", "case",     "default", "break", "continue", "return", "goto"};

// Each parameter is "<type> <stars><name>" with a type the script language
// has, one per argument cell; variable lists end in "...".
TEST(BuiltinTable, ParameterListsMatchTheArgumentCounts) {
  const std::set<std::string> types = {"char", "short", "int", "long", "unsigned", "float", "void",
                                       "unsigned char", "unsigned short"};
  for (const BuiltinInfo& b : builtin_infos()) {
    SCOPED_TRACE(b.name);
    const std::string params = b.params;
    EXPECT_EQ(params.find("/*"), std::string::npos);  // the header puts the list in a comment
    EXPECT_EQ(params.find("*/"), std::string::npos);
    std::vector<std::string> list;
    for (size_t start = 0; !params.empty();) {
      const size_t comma = params.find(", ", start);
      list.push_back(params.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 2;
    }
    if (b.arg_count == -1) {
      ASSERT_GE(list.size(), 2u) << "a variable list needs a fixed argument and \"...\"";
      EXPECT_EQ(list.back(), "...");
      list.pop_back();
    } else {
      EXPECT_EQ(static_cast<int>(list.size()), static_cast<int>(b.arg_count)) << params;
    }
    std::set<std::string> names;
    for (const std::string& p : list) {
      const size_t split = p.find_last_of(" *");
      ASSERT_NE(split, std::string::npos) << p;
      const std::string name = p.substr(split + 1);
      std::string type = p.substr(0, split + 1);
      const bool pointer = type.find('*') != std::string::npos;
      type.erase(type.find_last_not_of(" *") + 1);
      EXPECT_TRUE(types.count(type)) << "unknown type in " << p;
      EXPECT_TRUE(pointer || type != "void") << p;
      EXPECT_TRUE(is_identifier(name) && !kKeywords.count(name)) << "bad name in " << p;
      EXPECT_TRUE(names.insert(name).second) << "repeated name in " << params;
    }
  }
}

}  // namespace
}  // namespace zelt
