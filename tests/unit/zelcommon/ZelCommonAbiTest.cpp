// The C boundary of libzelcommon.so called directly: null and odd arguments,
// ownership of results, arguments left unchanged, very long inputs.

#include "platform/Library.h"
#include "platform/SystemInfo.h"
#include "zelcommon/zelcommon.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

class ZelCommonAbi : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_lib.load(kestrow::platform::executableFolder() + "libzelcommon.so")) << m_lib.error();
    }

    template <typename Fn> Fn fn(const char* name) const
    {
        void* address = m_lib.symbol(name);
        EXPECT_NE(address, nullptr) << name;
        return reinterpret_cast<Fn>(address);
    }

    // Takes a result: checks its shape, copies it and frees it.
    std::string take(ZcString s) const
    {
        EXPECT_GE(s.length, 0);
        std::string out;
        if (s.data) {
            EXPECT_EQ(s.data[s.length], '\0') << "result not followed by a NUL";
            out.assign(s.data, static_cast<size_t>(s.length));
        } else {
            EXPECT_EQ(s.length, 0);
        }
        fn<decltype(&ZcFreeString)>("ZcFreeString")(s);
        return out;
    }

    static ZcString view(std::string& s) { return {s.data(), static_cast<int32_t>(s.size())}; }

    kestrow::platform::Library m_lib;
};

using Unary = ZcString (*)(const ZcString*);
using Binary = ZcString (*)(const ZcString*, const ZcString*);

const char* const kUnary[] = {"GetLastItemInPath",    "NormalizePath",          "ToggleCase",
                              "ProperCase",           "RemoveInternalSpaces",   "StripNull",
                              "GetFilenameExtension", "RemoveFilenameExtension"};

} // namespace

TEST_F(ZelCommonAbi, NullEmptyAndMalformedArgumentsReadAsEmpty)
{
    char bytes[] = "abc";
    const ZcString nullData{nullptr, 0};
    const ZcString nullDataWithLength{nullptr, 5};
    const ZcString negativeLength{bytes, -1};
    for (const char* name : kUnary) {
        SCOPED_TRACE(name);
        const auto f = fn<Unary>(name);
        EXPECT_EQ(take(f(nullptr)), "");
        EXPECT_EQ(take(f(&nullData)), "");
        EXPECT_EQ(take(f(&nullDataWithLength)), "");
        EXPECT_EQ(take(f(&negativeLength)), "");
    }
    std::string x = "x";
    const ZcString xs = view(x);
    // Two-argument functions with one side missing give what the empty string gives.
    const struct
    {
        const char* name;
        const ZcString* a;
        const ZcString* b;
        std::string expected;
    } rows[] = {
        {"RemainingString", &xs, nullptr, ""},       {"ExtractString", &xs, nullptr, "x"},
        {"ExtractString", nullptr, &xs, ""},         {"ReplaceFileName", nullptr, &xs, "x"},
        {"ReplaceExtension", nullptr, nullptr, "."}, {"AddSuffixToFileName", nullptr, &xs, "x"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(take(fn<Binary>(r.name)(r.a, r.b)), r.expected);
    }
    EXPECT_EQ(take(fn<ZcString (*)(const ZcString*, const ZcString*, const ZcString*)>("ReplaceString")(
                  &xs, &xs, nullptr)),
              "");
    EXPECT_EQ(fn<int16_t (*)(const ZcString*, int16_t)>("GetNextSlashPos")(nullptr, 1), 0);
    for (const char* name : {"PBFileExists", "PBFolderExists", "APIFolderExists"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(fn<int16_t (*)(const ZcString*)>(name)(nullptr), 0);
        EXPECT_EQ(fn<int16_t (*)(const ZcString*)>(name)(&nullDataWithLength), 0);
    }
    EXPECT_EQ(fn<int16_t (*)(const char*)>("APIFileExists")(nullptr), 0);
    EXPECT_EQ(fn<int16_t (*)(const char*)>("APIFileExists")(""), 0);
}

TEST_F(ZelCommonAbi, ArgumentsAreNeverChanged)
{
    const std::string original = "mIxEd \x84 case.TXT\0tail"s;
    std::string buffer = original;
    const ZcString arg = view(buffer);
    for (const char* name : kUnary) {
        SCOPED_TRACE(name);
        take(fn<Unary>(name)(&arg));
        EXPECT_EQ(buffer, original);
        EXPECT_EQ(arg.data, buffer.data());
        EXPECT_EQ(arg.length, static_cast<int32_t>(original.size()));
    }
}

TEST_F(ZelCommonAbi, ResultsAreFreshCopiesEvenWhenUnchanged)
{
    std::string buffer = "/a/b/";
    const ZcString arg = view(buffer);
    const ZcString r = fn<Unary>("NormalizePath")(&arg);
    EXPECT_NE(r.data, buffer.data());
    EXPECT_EQ(std::string(r.data, static_cast<size_t>(r.length)), buffer);
    take(r);
    // An empty result is still a string the caller owns and frees.
    std::string empty;
    const ZcString e = view(empty);
    EXPECT_EQ(take(fn<Unary>("ToggleCase")(&e)), "");
    fn<decltype(&ZcFreeString)>("ZcFreeString")(ZcString{nullptr, 0});
}

TEST_F(ZelCommonAbi, LibMainAcceptsReasonCodesZeroToThree)
{
    const auto libMain = fn<decltype(&LIBMAIN)>("LIBMAIN");
    for (uint32_t reason : {0u, 1u, 2u, 3u})
        EXPECT_EQ(libMain(nullptr, reason, nullptr), 1) << reason;
    for (uint32_t reason : {4u, 0xFFFFFFFFu})
        EXPECT_EQ(libMain(nullptr, reason, nullptr), 0) << reason;
}

TEST_F(ZelCommonAbi, VeryLongInputsNeverCrash)
{
    std::string longText(200 * 1024, 'a');
    longText[1000] = '\0';
    longText += "/tail.ext";
    const ZcString arg = view(longText);
    for (const char* name : kUnary) {
        SCOPED_TRACE(name);
        const std::string r = take(fn<Unary>(name)(&arg));
        EXPECT_LE(r.size(), longText.size() + 1);
    }
    EXPECT_EQ(take(fn<Unary>("GetLastItemInPath")(&arg)), "tail.ext");
    EXPECT_EQ(take(fn<Unary>("StripNull")(&arg)).size(), 1000u);
    for (const char* name : {"PBFileExists", "PBFolderExists", "APIFolderExists"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(fn<int16_t (*)(const ZcString*)>(name)(&arg), 0);
    }
    std::string longPath = "/" + std::string(150 * 1024, 'p');
    EXPECT_EQ(fn<int16_t (*)(const char*)>("APIFileExists")(longPath.c_str()), 0);
    const ZcString pattern = view(longPath += "*");
    EXPECT_EQ(fn<int16_t (*)(const ZcString*)>("PBFileExists")(&pattern), 0);
}

TEST_F(ZelCommonAbi, ReplaceStringRefusesAResultBeyondTheLengthLimit)
{
    // 100,000 occurrences times 30,000 bytes is past INT32_MAX: an empty result,
    // decided before anything that size is allocated.
    std::string text(100000, 'a'), find = "a", replacement(30000, 'r');
    const ZcString t = view(text), f = view(find), r = view(replacement);
    const ZcString result =
        fn<ZcString (*)(const ZcString*, const ZcString*, const ZcString*)>("ReplaceString")(&t, &f, &r);
    EXPECT_EQ(result.data, nullptr);
    EXPECT_EQ(result.length, 0);
}

TEST_F(ZelCommonAbi, NulBytesTravelBothWays)
{
    std::string text = "a\0B/c\0.d"s;
    const ZcString arg = view(text);
    EXPECT_EQ(take(fn<Unary>("ToggleCase")(&arg)), "A\0b/C\0.D"s);
    EXPECT_EQ(take(fn<Unary>("GetFilenameExtension")(&arg)), "d");
    EXPECT_EQ(take(fn<Unary>("GetLastItemInPath")(&arg)), "c\0.d"s);
}
