#include "addresses/address_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mailsift {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> Captions(const std::vector<ReviewItem>& items) {
    std::vector<std::string> captions;
    for (const ReviewItem& item : items) captions.push_back(item.Caption);
    return captions;
}

std::vector<ReviewItem> Items(const std::vector<std::string>& captions) {
    std::vector<ReviewItem> items;
    for (const std::string& caption : captions) items.push_back({caption, "thunderbird"});
    return items;
}

TEST(AddressListTest, KeepsOrderAndFirstSpellingAndRejectsCaseDuplicates) {
    AddressList list;
    EXPECT_TRUE(list.Add("Zed@X.org"));
    EXPECT_TRUE(list.Add("ann@x.org"));
    EXPECT_FALSE(list.Add("zed@x.ORG"));
    EXPECT_FALSE(list.Add("ANN@X.ORG"));
    EXPECT_TRUE(list.Add("ann@x.org."));
    EXPECT_TRUE(list.Contains("ZED@x.org"));
    EXPECT_FALSE(list.Contains("zed@x.or"));
    EXPECT_THAT(list.entries(), ElementsAre("Zed@X.org", "ann@x.org", "ann@x.org."));

    list.Add("\xC3\xA9@x.org");
    list.Add("Ann");
    list.Sort();
    EXPECT_THAT(list.entries(),
                ElementsAre("Ann", "ann@x.org", "ann@x.org.", "Zed@X.org", "\xC3\xA9@x.org"))
        << "ascending with letter case ignored";
    EXPECT_FALSE(list.Add("zed@x.org")) << "the index survives sorting";
    EXPECT_TRUE(list.Add("bob@x.org"));
    EXPECT_EQ(list.entries().back(), "bob@x.org") << "new entries still go to the end";

    list.Clear();
    EXPECT_TRUE(list.Add("ann@x.org")) << "the index is cleared with the list";

    // Many distinct addresses that differ only late, and each met twice in another case.
    AddressList many;
    for (int i = 0; i < 100000; ++i) many.Add("user" + std::to_string(i) + "@example.org");
    for (int i = 0; i < 100000; ++i) many.Add("USER" + std::to_string(i) + "@EXAMPLE.ORG");
    EXPECT_EQ(many.size(), 100000u);
    EXPECT_EQ(many[99999], "user99999@example.org");
}

TEST(ReviewListTest, DeleteWithDomainVisitsEveryItem) {
    // Neighbours that all match: removing one must not skip the next.
    std::vector<ReviewItem> items = Items({"a@x.org", "b@X.ORG", "c@x.org [not exists]", "d@y.org",
                                           "e@sub.x.org", "f@x.org", "g@x.org"});
    EXPECT_EQ(DeleteWithDomain(items, 5), 4u);
    EXPECT_THAT(Captions(items), ElementsAre("c@x.org [not exists]", "d@y.org", "e@sub.x.org"));
    EXPECT_EQ(items[1].Tag, "thunderbird");

    std::vector<ReviewItem> marked =
        Items({"c@x.org [not exists]", "a@x.org", "z@x.org [not exists]"});
    EXPECT_EQ(DeleteWithDomain(marked, 0), 2u) << "the mark is part of the domain";
    EXPECT_THAT(Captions(marked), ElementsAre("a@x.org"));

    std::vector<ReviewItem> odd = Items({"no-at-all", "a@x.org", "b@*.org"});
    EXPECT_EQ(DeleteWithDomain(odd, 0), 0u);
    EXPECT_EQ(DeleteWithDomain(odd, 3), 0u);
    EXPECT_EQ(DeleteWithDomain(odd, 2), 1u) << "a domain is taken literally, not as a mask";
    EXPECT_THAT(Captions(odd), ElementsAre("no-at-all", "a@x.org"));
}

TEST(ReviewListTest, DeleteWithoutDomainVisitsEveryItem) {
    std::vector<ReviewItem> items = Items({"a@y.org", "b@z.org", "c@X.org", "no-at-all", "d@y.org",
                                           "e@w.org", "f@x.org", "g@x.org.uk"});
    EXPECT_EQ(DeleteWithoutDomain(items, 2), 5u);
    EXPECT_THAT(Captions(items), ElementsAre("c@X.org", "no-at-all", "f@x.org"));

    EXPECT_EQ(DeleteWithoutDomain(items, 1), 0u) << "the selected item has no domain";
    EXPECT_EQ(DeleteWithoutDomain(items, 9), 0u);
    EXPECT_EQ(items.size(), 3u);
}

}  // namespace
}  // namespace mailsift
