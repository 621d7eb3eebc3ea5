#include "platform/msvc_rand.h"

#include <gtest/gtest.h>

namespace tolv {
namespace {

// The first values of the Microsoft runtime's rand(): unseeded and after srand(1)
// the sequence is the same.
TEST(MsvcRand, ReproducesTheRuntimeSequence) {
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    MsvcRand unseeded;
    MsvcRand seeded;
    seeded.seed(12345);
    seeded.seed(1);
    for (int value : expected) {
        EXPECT_EQ(unseeded.next(), value);
        EXPECT_EQ(seeded.next(), value);
    }
}

TEST(MsvcRand, SeedZeroStartsAt38) {
    MsvcRand generator;
    generator.seed(0);
    EXPECT_EQ(generator.next(), 38);
    EXPECT_EQ(generator.next(), 7719);
    EXPECT_EQ(generator.next(), 21238);
}

}  // namespace
}  // namespace tolv
