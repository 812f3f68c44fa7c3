#include "addresses/address_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace mailsift {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

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

// Answers every lookup of run at once from the names dns knows, collecting the verdicts by key.
std::map<size_t, bool> AnswerAll(DomainCheckRun& run, FakeResolver& dns) {
    std::map<size_t, bool> verdicts;
    const HostResolver resolves = dns.resolver();
    while (const std::optional<DomainCheckRun::Lookup> lookup = run.NextLookup()) {
        for (const DomainCheckRun::Verdict& verdict :
             run.Answer(lookup->ticket, resolves(lookup->host))) {
            EXPECT_TRUE(verdicts.emplace(verdict.key, verdict.exists).second) << verdict.key;
        }
    }
    return verdicts;
}

TEST(DomainCheckRunTest, EachDomainIsLookedUpOnceWwwFormFirst) {
    FakeResolver dns({"www.web.org", "bare.org"});
    DomainCheckRun run;
    EXPECT_EQ(run.Add(0, "a@Web.org"), std::nullopt);
    EXPECT_EQ(run.Add(1, "b+c@web.org"), false) << "refused without a lookup";
    EXPECT_EQ(run.Add(2, "B@WEB.ORG"), std::nullopt);
    EXPECT_EQ(run.Add(3, "x@bare.org"), std::nullopt);
    EXPECT_EQ(run.Add(4, "y@gone.org"), std::nullopt);
    EXPECT_EQ(run.Add(5, "no-at-all"), false);
    EXPECT_EQ(run.Add(6, "z@bare.org [not exists]"), std::nullopt);
    EXPECT_FALSE(run.Finished());

    EXPECT_THAT(AnswerAll(run, dns),
                (std::map<size_t, bool>{{0, true}, {2, true}, {3, true}, {4, false}, {6, false}}));
    EXPECT_TRUE(run.Finished());
    EXPECT_THAT(dns.asked_,
                ElementsAre("www.web.org", "www.bare.org", "bare.org", "www.gone.org", "gone.org",
                            "www.bare.org [not exists]", "bare.org [not exists]"))
        << "a domain's bare form is asked before the next domain is begun";
    EXPECT_EQ(run.LookupsStarted(), dns.asked_.size());

    EXPECT_EQ(run.Add(7, "late@web.org"), true) << "a decided domain answers at once";
    EXPECT_EQ(run.Add(8, "late@gone.org"), false);
    EXPECT_EQ(run.NextLookup(), std::nullopt);
}

TEST(DomainCheckRunTest, AnswersInAnyOrderAndStrayAnswers) {
    DomainCheckRun run;
    run.Add(0, "a@one.org");
    run.Add(1, "b@two.org");
    const std::optional<DomainCheckRun::Lookup> first = run.NextLookup();
    const std::optional<DomainCheckRun::Lookup> second = run.NextLookup();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(run.NextLookup(), std::nullopt) << "nothing more until an answer comes";
    run.Add(2, "c@one.org");
    EXPECT_EQ(run.NextLookup(), std::nullopt) << "a domain under way is not asked again";

    EXPECT_THAT(run.Answer(second->ticket, true),
                ElementsAre(Field(&DomainCheckRun::Verdict::key, 1)));
    EXPECT_THAT(run.Answer(second->ticket, false), IsEmpty()) << "a second answer is stray";
    EXPECT_THAT(run.Answer(99, true), IsEmpty());
    EXPECT_THAT(run.Answer(first->ticket, false), IsEmpty()) << "the bare form is still to ask";
    EXPECT_FALSE(run.Finished());
    const std::optional<DomainCheckRun::Lookup> bare = run.NextLookup();
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->host, "one.org");
    const std::vector<DomainCheckRun::Verdict> verdicts = run.Answer(bare->ticket, false);
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[0].key, 0u);
    EXPECT_EQ(verdicts[1].key, 2u);
    EXPECT_FALSE(verdicts[0].exists);
    EXPECT_TRUE(run.Finished());
}

TEST(AddressCheckTest, SystemResolverRefusesNamesItCannotAsk) {
    EXPECT_FALSE(HostResolves(""));
    EXPECT_FALSE(HostResolves(std::string("localhost\0.example.org", 22)));
    EXPECT_TRUE(HostResolves("127.0.0.1")) << "a numeric address needs no network";
}

}  // namespace
}  // namespace mailsift
