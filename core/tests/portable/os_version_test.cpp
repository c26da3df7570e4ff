#include "core/os_version.h"

#include <gtest/gtest.h>

namespace zk {
namespace {

TEST(OsVersionCode, Table)
{
    constexpr uint32_t WS = OS_PRODUCT_WORKSTATION, SRV = 3, DC = 2;
    const struct {
        uint32_t platform, major, minor, product;
        bool r2;
        int code;
    } cases[] = {
        {OS_PLATFORM_WIN32S, 3, 10, WS, false, 0}, {OS_PLATFORM_WIN9X, 4, 0, WS, false, 1},
        {OS_PLATFORM_WIN9X, 4, 10, WS, false, 2},  {OS_PLATFORM_WIN9X, 4, 89, WS, false, 2},
        {OS_PLATFORM_WIN9X, 4, 90, WS, false, 3},  {OS_PLATFORM_NT, 3, 51, WS, false, 4},
        {OS_PLATFORM_NT, 4, 0, WS, false, 5},      {OS_PLATFORM_NT, 5, 0, WS, false, 6},
        {OS_PLATFORM_NT, 5, 1, WS, false, 7},      {OS_PLATFORM_NT, 5, 2, SRV, false, 8},
        {OS_PLATFORM_NT, 5, 2, SRV, true, 9},      {OS_PLATFORM_NT, 5, 1, WS, true, 7},
        {OS_PLATFORM_NT, 5, 3, WS, false, 0},      {OS_PLATFORM_NT, 6, 0, WS, false, 10},
        {OS_PLATFORM_NT, 6, 0, SRV, false, 11},    {OS_PLATFORM_NT, 6, 1, WS, false, 12},
        {OS_PLATFORM_NT, 6, 1, DC, false, 13},     {OS_PLATFORM_NT, 6, 2, WS, false, 14},
        {OS_PLATFORM_NT, 6, 2, SRV, false, 15},    {OS_PLATFORM_NT, 6, 3, WS, false, 16},
        {OS_PLATFORM_NT, 6, 3, SRV, false, 17},    {OS_PLATFORM_NT, 6, 4, WS, false, 0},
        {OS_PLATFORM_NT, 6, 10, WS, false, 18},    {OS_PLATFORM_NT, 6, 10, SRV, false, 0},
        {OS_PLATFORM_NT, 10, 0, WS, false, 18},    {OS_PLATFORM_NT, 10, 0, SRV, false, 19},
        {OS_PLATFORM_NT, 10, 1, WS, false, 98},    {OS_PLATFORM_NT, 10, 1, SRV, false, 99},
        {OS_PLATFORM_NT, 7, 0, WS, false, 0},      {3, 6, 1, WS, false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OsVersionCodeFor(c.platform, c.major, c.minor, c.product, c.r2), c.code)
            << c.platform << " " << c.major << "." << c.minor << " product " << c.product << " r2 " << c.r2;
    }
}

} // namespace
} // namespace zk
