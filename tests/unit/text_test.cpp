// The bounded search of a piece of text.
#include <gtest/gtest.h>

#include "text.h"

#include <string>

#include "names.h"

namespace mioutil {
namespace {

bool Contains(const std::wstring& text, const std::wstring& needle) {
    return ContainsText(text.data(), text.size(), needle.data(), needle.size());
}

TEST(ContainsText, FindsTheProviderAnywhereCaseMatters) {
    const std::wstring provider = kProviderStrings[2];  // KORAV GROUP
    EXPECT_TRUE(Contains(L"Provider=KORAV GROUP", provider));
    EXPECT_TRUE(Contains(L"; by KORAV GROUPS Ltd", provider));  // start of a longer word
    EXPECT_TRUE(Contains(L"KORAV GROUKORAV GROUP", provider));   // a false start just before
    EXPECT_FALSE(Contains(L"korav group", provider));
    EXPECT_FALSE(Contains(L"KORAV GROU", provider));
    EXPECT_FALSE(Contains(L"", provider));
    EXPECT_FALSE(Contains(L"anything", L""));  // an empty provider names nobody
}

}  // namespace
}  // namespace mioutil
