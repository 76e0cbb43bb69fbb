#include "files/hash_collection.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct Named : THashCollectionItem {
    explicit Named(int v = 0) : value(v) {}
    int value;
};

std::string nm(int i) { return "image\\bg" + std::to_string(1000 + i).substr(1) + ".tes"; }
}  // namespace

TEST(HashName, BucketRule) {
    EXPECT_EQ(HashName("ab"), 226);
    EXPECT_EQ(HashName("AB"), 226);
    EXPECT_EQ(HashName("x"), 16);
    EXPECT_EQ(HashName(""), 0);
    // 16 * 3 + 'a' + 'b' of "abc" = 243; the trail byte 'A' of 0x83 0x41 is not folded.
    EXPECT_EQ(HashName("ABC"), 243);
    EXPECT_EQ(HashName("\x83\x41z"), static_cast<uint8_t>(48 + 0x83 + 0x41));
}

TEST(HashCollection, FindsWithoutCaseButLeavesDoubleByteCharactersAlone) {
    THashCollection c;
    c.AddName<Named>("Image\\BG001.tes");
    c.AddName<Named>("\x83\x41.txt");  // katakana whose trail byte is 'A'
    EXPECT_EQ(c.IndexOf("image\\bg001.TES"), 0);
    EXPECT_EQ(c.IndexOf("\x83\x41.TXT"), 1);
    EXPECT_EQ(c.IndexOf("\x83\x61.txt"), -1);
    EXPECT_EQ(c.IndexOf("image\\bg002.tes"), -1);
    EXPECT_EQ(c.IndexOf(""), -1);
}

TEST(HashCollection, MostRecentlyLinkedOfEqualNamesWins) {
    THashCollection c;
    c.AddName<Named>("a.txt", 1);
    c.AddName<Named>("A.TXT", 2);
    EXPECT_EQ(c.IndexOf("a.txt"), 1);
    // Renaming links the item afresh, so it is found first.
    c.GetItem(0)->SetName("A.txt");
    EXPECT_EQ(c.IndexOf("a.txt"), 0);
    // The order survives the table growing underneath.
    for (int i = 0; i < 5000; ++i) c.AddName<Named>(nm(i));
    EXPECT_EQ(c.IndexOf("a.TXT"), 0);
    c.Delete(0);
    EXPECT_EQ(c.IndexOf("a.txt"), 0);
    EXPECT_EQ(c.ItemAs<Named>(0)->value, 2);
}

TEST(HashCollection, EqualNamesKeepTheirOrderThroughMoveDeleteAndRename) {
    THashCollection c;
    c.AddName<Named>("x.bmp", 1);
    c.AddName<Named>("X.BMP", 2);
    c.AddName<Named>("x.Bmp", 3);  // linked last: found first
    c.Move(2, 0);                  // 3 1 2: a move links nothing afresh
    EXPECT_EQ(c.ItemAs<Named>(c.IndexOf("x.bmp"))->value, 3);
    c.Move(0, 2);
    c.Delete(1);                   // 1 3
    EXPECT_EQ(c.ItemAs<Named>(c.IndexOf("X.bmp"))->value, 3);
    c.GetItem(0)->SetName("x.bmp");  // the same name, case and all: no change
    EXPECT_EQ(c.ItemAs<Named>(c.IndexOf("X.bmp"))->value, 3);
    c.GetItem(0)->SetName("X.bmp");  // differs in case: linked afresh, now first
    EXPECT_EQ(c.ItemAs<Named>(c.IndexOf("x.bmp"))->value, 1);
    c.Delete(0);
    EXPECT_EQ(c.ItemAs<Named>(c.IndexOf("x.bmp"))->value, 3);
    c.Delete(0);
    EXPECT_EQ(c.IndexOf("x.bmp"), -1);
}

TEST(HashCollection, IndicesFollowDeleteAndMove) {
    THashCollection c;
    for (int i = 0; i < 10; ++i) c.AddName<Named>(nm(i), i);
    c.Delete(3);
    EXPECT_EQ(c.Count(), 9);
    EXPECT_EQ(c.IndexOf(nm(9)), 8);
    EXPECT_EQ(c.IndexOf(nm(3)), -1);
    c.Move(0, 5);  // 1 2 4 5 6 0 7 8 9
    EXPECT_EQ(c.IndexOf(nm(0)), 5);
    EXPECT_EQ(c.IndexOf(nm(1)), 0);
    EXPECT_EQ(c.IndexOf(nm(6)), 4);
    EXPECT_EQ(c.IndexOf(nm(7)), 6);
    c.GetItem(8)->SetIndex(1);  // 1 9 2 4 5 6 0 7 8
    for (int i = 0; i < c.Count(); ++i) {
        EXPECT_EQ(c.GetItem(i)->GetIndex(), i);
        EXPECT_EQ(c.IndexOf(c.GetItem(i)->GetName()), i);
    }
    EXPECT_EQ(c.ItemAs<Named>(1)->value, 9);
    EXPECT_THROW(c.Move(0, 9), EListError);
    EXPECT_THROW(c.Delete(-1), EListError);
    EXPECT_THROW(c.GetItem(9), EListError);
}

TEST(HashCollection, RenameMovesTheItemAndClearEmpties) {
    THashCollection c;
    THashCollectionItem* a = c.AddName<Named>("old.dat");
    c.AddName<Named>("other.dat");
    a->SetName("new.dat");
    EXPECT_EQ(c.IndexOf("old.dat"), -1);
    EXPECT_EQ(c.IndexOf("NEW.dat"), 0);
    EXPECT_EQ(a->GetCollection(), &c);
    auto loose = std::make_unique<Named>();
    loose->SetName("loose");  // not in a collection yet
    THashCollectionItem* l = c.Add(std::move(loose));
    EXPECT_EQ(l->GetIndex(), 2);
    EXPECT_EQ(c.IndexOf("LOOSE"), 2);
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.IndexOf("new.dat"), -1);
    c.AddName<Named>("new.dat");
    EXPECT_EQ(c.IndexOf("new.dat"), 0);
}

TEST(HashCollection, ManyNamesOfOneFolderAllFound) {
    THashCollection c;
    for (int i = 0; i < 20000; ++i) c.AddName<Named>("image\\bg" + std::to_string(i) + ".tes");
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(c.IndexOf("IMAGE\\BG" + std::to_string(i) + ".TES"), i);
}
