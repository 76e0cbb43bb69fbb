// The built-in function table and the property table, row by row, against
// reference tables of ours in tests/data/vocab: names, argument counts and
// declared types, so that a slip in any of the 301 rows shows.
#include "files/vocab.h"
#include "script/sys_funcs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::vector<std::string>> read_rows(const std::string& name) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/vocab/" + name);
    EXPECT_TRUE(f.good()) << name;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cols;
        std::stringstream ss(line);
        std::string col;
        while (std::getline(ss, col, '\t')) cols.push_back(col);
        rows.push_back(cols);
    }
    return rows;
}

int type_code(const std::string& word) {
    if (word == "int") return PT_INT;
    if (word == "real") return PT_FLOAT;
    if (word == "bool") return PT_BOOL;
    if (word == "text") return PT_STR;
    ADD_FAILURE() << "type " << word;
    return PT_NONE;
}

}  // namespace

TEST(VocabTables, EveryFunctionRowMatchesTheReference) {
    const auto rows = read_rows("functions.tsv");
    ASSERT_EQ(rows.size(), static_cast<size_t>(kSysFuncCount));
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), 5u) << i;
        SCOPED_TRACE(row[1]);
        ASSERT_EQ(std::stoul(row[0]), i);
        const TSysFuncInfo& f = SysFuncTable[i];
        EXPECT_EQ(std::string(f.name), row[1]);
        EXPECT_EQ(f.min_args, std::stoi(row[2]));
        EXPECT_EQ(f.max_args, row[3] == "any" ? -1 : std::stoi(row[3]));
        EXPECT_EQ(f.result, type_code(row[4]));
    }
}

TEST(VocabTables, EveryPropertyRowMatchesTheReference) {
    const auto rows = read_rows("properties.tsv");
    ASSERT_EQ(rows.size(), static_cast<size_t>(PROPERTY_COUNT));
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), 3u) << i;
        SCOPED_TRACE(row[1]);
        ASSERT_EQ(std::stoul(row[0]), i);
        EXPECT_EQ(std::string(PropertyInfos[i].Name), row[1]);
        EXPECT_EQ(PropertyInfos[i].Type, type_code(row[2]));
    }
}
