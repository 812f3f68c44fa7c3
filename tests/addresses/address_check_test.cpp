#include "addresses/address_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace mailsift {
namespace {

using ::testing::ElementsAre;

// Resolves the names it was given and records every name it was asked for.
class FakeResolver {
  public:
    explicit FakeResolver(std::set<std::string> known) : known_(std::move(known)) {}
    HostResolver resolver() {
        return [this](const std::string& name) {
            asked_.push_back(name);
            return known_.contains(name);
        };
    }
    std::vector<std::string> asked_;

  private:
    std::set<std::string> known_;
};

TEST(AddressCheckTest, LocalPartRulesAndLookupOrder) {
    FakeResolver dns({"www.web.org", "mail.org", "www.both.org", "both.org"});
    const HostResolver resolves = dns.resolver();

    EXPECT_FALSE(CheckAddressExists("a+b@mail.org", resolves));
    EXPECT_FALSE(CheckAddressExists("\"ann\"@mail.org", resolves));
    EXPECT_FALSE(CheckAddressExists("j\xC3\xBCrgen@mail.org", resolves));
    EXPECT_FALSE(CheckAddressExists("no-at.mail.org", resolves));
    EXPECT_TRUE(dns.asked_.empty()) << "a bad local part is refused without a lookup";

    EXPECT_TRUE(CheckAddressExists("Ann.Lee_1-x@WEB.org", resolves)) << "upper case is lowered";
    EXPECT_THAT(dns.asked_, ElementsAre("www.web.org"));
    dns.asked_.clear();

    EXPECT_TRUE(CheckAddressExists("@mail.org", resolves)) << "an empty local part passes";
    EXPECT_THAT(dns.asked_, ElementsAre("www.mail.org", "mail.org"));
    dns.asked_.clear();

    EXPECT_TRUE(CheckAddressExists("x@both.org", resolves));
    EXPECT_FALSE(CheckAddressExists("x@gone.org", resolves));
    EXPECT_THAT(dns.asked_, ElementsAre("www.both.org", "www.gone.org", "gone.org"))
        << "at most two lookups, the www form first";
    dns.asked_.clear();

    EXPECT_FALSE(CheckAddressExists("x@mail.org@other", resolves))
        << "the domain is all after the first @";
    EXPECT_THAT(dns.asked_, ElementsAre("www.mail.org@other", "mail.org@other"));
}

TEST(AddressCheckTest, MarksAndCheckAll) {
    FakeResolver dns({"x.org"});
    ReviewItem item{"a@x.org", "eudora"};
    EXPECT_TRUE(CheckReviewItem(item, dns.resolver()));
    EXPECT_EQ(item.Caption, "a@x.org");

    ReviewItem gone{"a@gone.org", "eudora"};
    EXPECT_FALSE(CheckReviewItem(gone, dns.resolver()));
    EXPECT_FALSE(CheckReviewItem(gone, dns.resolver()));
    EXPECT_EQ(gone.Caption, "a@gone.org [not exists] [not exists]");
    EXPECT_EQ(gone.Tag, "eudora");

    std::vector<ReviewItem> items = {{"a@x.org", "outlook"},
                                     {"b+c@x.org", "outlook"},
                                     {"d@y.org", "eudora"},
                                     {"e@y.org", "eudora"}};
    std::vector<size_t> progress;
    EXPECT_EQ(CheckAllReviewItems(items, dns.resolver(), nullptr,
                                  [&](size_t done, size_t total) {
                                      EXPECT_EQ(total, 4u);
                                      progress.push_back(done);
                                  }),
              3u);
    EXPECT_EQ(items[0].Caption, "a@x.org");
    EXPECT_EQ(items[3].Caption, "e@y.org [not exists]");
    EXPECT_THAT(progress, ElementsAre(1, 2, 3, 4));

    std::vector<ReviewItem> fresh = {{"a@y.org", "file"}, {"b@y.org", "file"}, {"c@y.org", "file"}};
    size_t asked = 0;
    EXPECT_EQ(CheckAllReviewItems(fresh, dns.resolver(), [&asked] { return asked++ == 2; }), 2u)
        << "cancelled before the third item";
    EXPECT_EQ(fresh[2].Caption, "c@y.org");

    std::vector<ReviewItem> none;
    EXPECT_EQ(CheckAllReviewItems(none, dns.resolver(), nullptr), 0u);
}

TEST(AddressCheckTest, SystemResolverRefusesNamesItCannotAsk) {
    EXPECT_FALSE(HostResolves(""));
    EXPECT_FALSE(HostResolves(std::string("localhost\0.example.org", 22)));
    EXPECT_TRUE(HostResolves("127.0.0.1")) << "a numeric address needs no network";
}

}  // namespace
}  // namespace mailsift
