// The parameter table: every name is found, and the block's words follow the table.
#include <gtest/gtest.h>

#include <cstdint>

#include "link/com232.h"
#include "params/parameters.h"
#include "params/variables.h"

namespace ovx::params {
namespace {

TEST(Parameters, AreFoundByTheirExactName) {
    for (const Parameter& p : Parameters()) {
        EXPECT_EQ(FindParameter(p.name), &p);
    }
    EXPECT_EQ(FindParameter("Power"), nullptr);
    EXPECT_EQ(FindParameter(""), nullptr);
}

// The block's word order, as the controller reads it: the codec packs and unpacks by the table,
// so a table out of this order would put every value in the wrong word.
TEST(Parameters, PackAndUnpackTheBlockInItsWordOrder) {
    std::uint16_t* const words[kParameterCount] = {
        &power,    &reference, &tolerance, &hysteresis, &polarity, &hold,    &hwmode,  &average,
        &evalmode, &maxmode,   &triglvl,   &trigmode,   &sdelay,   &dbuflen, &anamode, &para15};
    for (std::size_t i = 0; i < kParameterCount; ++i) {
        *words[i] = static_cast<std::uint16_t>(100 + i);
    }
    link::CopyVarsToPP();
    for (std::size_t i = 0; i < kParameterCount; ++i) {
        EXPECT_EQ(link::pp[i], 100 + i) << "word " << i;
        link::pp[i] = static_cast<std::uint16_t>(200 + i);
    }
    link::CopyPPtoVars();
    for (std::size_t i = 0; i < kParameterCount; ++i) {
        EXPECT_EQ(*words[i], 200 + i) << "word " << i;
    }
    SetParameterStartValues();
}

} // namespace
} // namespace ovx::params
