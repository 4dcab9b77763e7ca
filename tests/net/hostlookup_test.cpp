#include "net/hostlookup.h"
#include "net/sockerr.h"
#include "net/starsock.h"

#include "eventloop.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// What the lookup answered, each time it answered.
struct TAnswers {
    std::vector<std::uint16_t> errors;
    std::vector<std::vector<TSocketAddress>> addresses;
    THostLookup::TDone Slot() {
        return [this](std::uint16_t error, std::vector<TSocketAddress> found) {
            errors.push_back(error);
            addresses.push_back(std::move(found));
        };
    }
};

// Runs the event loop for `ms` milliseconds, long enough for a resolver thread on this machine.
void RunFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    RunUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

TEST(HostLookup, AddressTextsAreAnsweredFromTheEventLoopWithoutTheResolver) {
    const struct {
        const char* text;
        int family;
        const char* address;
    } rows[] = {
        {"127.0.0.1", AF_INET, "127.0.0.1"},
        {"0177.0.0.1", AF_INET, "127.0.0.1"}, // octal, as inet_aton reads it
        {"127.1", AF_INET, "127.0.0.1"},      // the short form
        {"::1", AF_INET6, "::1"},
        {"::ffff:127.0.0.1", AF_INET6, "::ffff:127.0.0.1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        TAnswers answers;
        THostLookup lookup(answers.Slot());
        lookup.Start(row.text);
        EXPECT_TRUE(lookup.Pending());
        EXPECT_TRUE(answers.errors.empty()); // never inside Start
        ASSERT_TRUE(RunUntil([&] { return !answers.errors.empty(); }));
        EXPECT_FALSE(lookup.Pending());
        EXPECT_EQ(answers.errors, std::vector<std::uint16_t>{0});
        ASSERT_EQ(answers.addresses[0].size(), 1u);
        EXPECT_EQ(answers.addresses[0][0].any.sa_family, row.family);
        EXPECT_EQ(AddressText(answers.addresses[0][0]), row.address);
    }
}

TEST(HostLookup, ALinkLocalAddressKeepsItsInterface) {
    const unsigned loopback = if_nametoindex("lo");
    if (loopback == 0) GTEST_SKIP() << "no interface named lo";
    TAnswers answers;
    THostLookup lookup(answers.Slot());
    lookup.Start("fe80::1%lo");
    ASSERT_TRUE(RunUntil([&] { return !answers.errors.empty(); }));
    ASSERT_EQ(answers.errors, std::vector<std::uint16_t>{0});
    ASSERT_EQ(answers.addresses[0].size(), 1u);
    EXPECT_EQ(AddressText(answers.addresses[0][0]), "fe80::1");
    EXPECT_EQ(answers.addresses[0][0].v6.sin6_scope_id, loopback);
}

TEST(HostLookup, LocalhostResolvesToTheLoopback) {
    TAnswers answers;
    THostLookup lookup(answers.Slot());
    lookup.Start("localhost");
    EXPECT_TRUE(answers.errors.empty());
    ASSERT_TRUE(RunUntil([&] { return !answers.errors.empty(); }, 10000));
    ASSERT_EQ(answers.errors, std::vector<std::uint16_t>{0});
    // Every address once: the resolver gives each of them for several socket types.
    std::vector<std::string> texts;
    for (const TSocketAddress& a : answers.addresses[0])
        texts.push_back(AddressText(a));
    EXPECT_NE(std::find(texts.begin(), texts.end(), "127.0.0.1"), texts.end());
    for (const std::string& t : texts)
        EXPECT_EQ(std::count(texts.begin(), texts.end(), t), 1) << t;
}

TEST(HostLookup, ANameNoResolverKnowsIsHostNotFound) {
    // Names the resolver library refuses itself: no query leaves this host.
    for (const char* name : {"bad..name", "a b", ""}) {
        SCOPED_TRACE(name);
        TAnswers answers;
        THostLookup lookup(answers.Slot());
        lookup.Start(name);
        ASSERT_TRUE(RunUntil([&] { return !answers.errors.empty(); }, 10000));
        EXPECT_EQ(answers.errors, std::vector<std::uint16_t>{WSAHOST_NOT_FOUND});
        EXPECT_TRUE(answers.addresses[0].empty());
    }
}

TEST(HostLookup, AnAbortedLookupNeverAnswers) {
    TAnswers answers;
    THostLookup lookup(answers.Slot());
    lookup.Start("localhost");
    lookup.Abort();
    EXPECT_FALSE(lookup.Pending());
    lookup.Start("127.0.0.7");
    lookup.Abort();
    RunFor(500);
    EXPECT_TRUE(answers.errors.empty());
    // The lookup still works afterwards, and only the new answer comes.
    lookup.Start("127.0.0.8");
    ASSERT_TRUE(RunUntil([&] { return !answers.errors.empty(); }));
    RunFor(200);
    ASSERT_EQ(answers.errors.size(), 1u);
    EXPECT_EQ(AddressText(answers.addresses[0].at(0)), "127.0.0.8");
}

TEST(HostLookup, ANewLookupReplacesAPendingOne) {
    TAnswers answers;
    THostLookup lookup(answers.Slot());
    lookup.Start("localhost");
    lookup.Start("127.0.0.9");
    RunFor(500);
    ASSERT_EQ(answers.errors, std::vector<std::uint16_t>{0});
    ASSERT_EQ(answers.addresses[0].size(), 1u);
    EXPECT_EQ(AddressText(answers.addresses[0][0]), "127.0.0.9");
}

TEST(HostLookup, ALookupDestroyedWhilePendingDeliversNothing) {
    bool answered = false;
    for (int i = 0; i < 20; ++i) {
        auto lookup = std::make_unique<THostLookup>(
            [&](std::uint16_t, std::vector<TSocketAddress>) { answered = true; });
        lookup->Start(i % 2 ? "localhost" : "bad..name");
        lookup.reset();
    }
    RunFor(500);
    EXPECT_FALSE(answered);
}

TEST(HostLookup, AGivenAnswerComesLikeTheResolvers) {
    TAnswers answers;
    THostLookup lookup(answers.Slot());
    lookup.Answer(WSANO_DATA, {});
    EXPECT_TRUE(lookup.Pending());
    EXPECT_TRUE(answers.errors.empty());
    DrainPostedEvents();
    EXPECT_EQ(answers.errors, std::vector<std::uint16_t>{WSANO_DATA});
}

// Through the socket component: the resolver's answer, and CloseSocket while it is on its way.
TEST(HostLookup, SocketResolvesANameAndItsCloseDropsTheLookup) {
    TStarSocket s;
    int resolved = 0;
    s.OnHostResolved = [&](TStarSocket&) { ++resolved; };
    s.ResolveHost("localhost");
    EXPECT_EQ(s.LastError(), 0);
    ASSERT_TRUE(RunUntil([&] { return resolved == 1; }, 10000));
    EXPECT_EQ(s.LastError(), 0);
    s.UseResolvedAddress(AF_INET);
    EXPECT_EQ(s.GetAddressText(), "127.0.0.1");

    s.ResolveHost("localhost");
    s.CloseSocket();
    RunFor(500);
    EXPECT_EQ(resolved, 1);

    s.ResolveHost("bad..name");
    ASSERT_TRUE(RunUntil([&] { return resolved == 2; }, 10000));
    EXPECT_EQ(s.LastError(), WSAHOST_NOT_FOUND);
}

} // namespace
