#include <gtest/gtest.h>

#include "deploy/Deployment.h"
#include "util/pres.h"

// The name the scrambler's build messages would give the table's values (outside the
// unnamed namespace: the scrambler declares its build-stopping functions for it).
struct V {};

namespace {

TEST(Deployment, BuiltInValuesUnscrambleToThePlainValues) {
    EXPECT_EQ(ToUtf8(FromShort(
                  UnscrambleText(ToShort(deploy::ScrambledHost()), ToShort(deploy::KeyA()), true))),
              reinterpret_cast<const char*>(KOREKTA_PLAIN_HOST));
    EXPECT_EQ(ToUtf8(FromShort(
                  UnscrambleText(ToShort(deploy::ScrambledUser()), ToShort(deploy::KeyA()), true))),
              reinterpret_cast<const char*>(KOREKTA_PLAIN_USER));
    EXPECT_EQ(ToUtf8(FromShort(UnscrambleText(ToShort(deploy::ScrambledPassword()),
                                              ToShort(deploy::KeyB()), true))),
              reinterpret_cast<const char*>(KOREKTA_PLAIN_PASSWORD));
    EXPECT_NE(ToUtf8(deploy::ScrambledPassword()),
              reinterpret_cast<const char*>(KOREKTA_PLAIN_PASSWORD));
    EXPECT_EQ(deploy::KeyA().size(), 6u);
}

// A table of values scrambled at compile time, as the build does with the deployment's.
constexpr deploy::ScrambledText kTable[] = {
    deploy::Scramble<V>(u8"update.firma.pl", "318452"),
    deploy::Scramble<V>(u8"Serwis_QV", "907316"),
    deploy::Scramble<V>(u8"Hasło-Źdź2", "000000"),
    deploy::Scramble<V>(u8"10.0.0.254", "999999"),
};
const char* const kPlain[] = {"update.firma.pl", "Serwis_QV", "Hasło-Źdź2", "10.0.0.254"};
const char* const kKeys[] = {"318452", "907316", "000000", "999999"};

TEST(Deployment, CompileTimeScramblingRoundTrips) {
    for (std::size_t i = 0; i < std::size(kTable); ++i)
        EXPECT_EQ(ToUtf8(FromShort(UnscrambleText(std::string(kTable[i].View()), kKeys[i], true))),
                  kPlain[i]);
}

} // namespace
