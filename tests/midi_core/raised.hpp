// Checks that a statement raises one of the named range exceptions with the given reason.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "midi_support/exception.hpp"

#define EXPECT_RAISES(statement, kind, reasonText)                            \
    do {                                                                      \
        try {                                                                 \
            (void)(statement);                                                \
            ADD_FAILURE() << #statement " raised nothing";                    \
        } catch (const midisupport::RaisedException& raised_) {               \
            EXPECT_EQ(raised_.exceptionCase(), midisupport::Exception::kind); \
            EXPECT_EQ(std::string(raised_.what()), std::string(reasonText));  \
        }                                                                     \
    } while (false)

#define EXPECT_OVERFLOW(statement, name) \
    EXPECT_RAISES(statement, overflow, std::string(name) + " integer overflowed")
#define EXPECT_UNDERFLOW(statement, name) \
    EXPECT_RAISES(statement, underflow, std::string(name) + " integer underflowed")
