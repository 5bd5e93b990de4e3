// Names the rows of a data-driven test after their name field.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace ovx::testing {

struct RowName {
    template <typename Row> std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
        return row.param.name;
    }
};

} // namespace ovx::testing
