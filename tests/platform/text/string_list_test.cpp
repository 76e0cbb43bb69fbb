#include "platform/exception.h"
#include "platform/text/string_list.h"

#include <gtest/gtest.h>

TEST(StringList, CaseInsensitiveLookupSortAndBounds) {
    TStringList l;
    l.AddObject("Beta", 2);
    l.Add("alpha");
    l.Insert(0, "Gamma", 3);
    EXPECT_EQ(l.IndexOf("BETA"), 1);
    EXPECT_EQ(l.Objects(0), 3);
    l.Delete(0);
    EXPECT_EQ(l.IndexOf("beta"), 0);
    EXPECT_EQ(l.IndexOf("gamma"), -1);
    l.SetSorted(true);
    EXPECT_EQ(l[0], "alpha");
    EXPECT_EQ(l.Add("ALPHA"), 0);  // a sorted list ignores the duplicate
    EXPECT_EQ(l.Add("b"), 1);
    EXPECT_EQ(l.Count(), 3);
    EXPECT_EQ(l.IndexOf("BETA"), 2);
    EXPECT_EQ(l.Objects(2), 2);
    EXPECT_THROW(l.Insert(0, "x"), EListError);
    EXPECT_THROW(l.Get(3), EListError);
    EXPECT_THROW(l.Delete(-1), EListError);
}
