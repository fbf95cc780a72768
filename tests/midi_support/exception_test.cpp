#include <gtest/gtest.h>

#include "midi_support/exception.hpp"

using namespace midisupport;

namespace {

TEST(Exception, RaisingThrowsTheNamedExceptionWithItsReason) {
    const struct {
        Exception exception;
        const char* name;
    } cases[] = {
        {Exception::overflow, "NSDecimalNumberOverflowException"},
        {Exception::underflow, "NSDecimalNumberUnderflowException"},
        {Exception::divisionByZero, "NSDecimalNumberDivideByZeroException"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(exceptionName(c.exception), c.name);
        try {
            raise(c.exception, "UInt7 integer overflowed");
            ADD_FAILURE() << "raise returned";
        } catch (const RaisedException& e) {
            EXPECT_EQ(e.name(), c.name);
            EXPECT_EQ(e.reason(), "UInt7 integer overflowed");
            EXPECT_STREQ(e.what(), "UInt7 integer overflowed");
            EXPECT_EQ(e.exceptionCase(), c.exception);
        }
    }
}

TEST(Exception, AnyNameAndNoReason) {
    try {
        raiseException("CustomException");
        ADD_FAILURE() << "raiseException returned";
    } catch (const std::exception& e) {
        const auto* raised = dynamic_cast<const RaisedException*>(&e);
        ASSERT_NE(raised, nullptr);
        EXPECT_EQ(raised->name(), "CustomException");
        EXPECT_EQ(raised->reason(), std::nullopt);
        EXPECT_EQ(raised->exceptionCase(), std::nullopt);
        EXPECT_STREQ(e.what(), "CustomException");
    }
}

}  // namespace
