// Scripting descriptors: what a plug-in writes through the write procs comes
// back through the read procs, with the host's bookkeeping of keys and errors.
#include "DescriptorStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gw::host {
namespace {

constexpr DescriptorKeyID kAmnt = 0x416D6E74;
constexpr DescriptorKeyID kFill = 0x466C2020;
constexpr DescriptorKeyID kMode = 0x4D642020;
constexpr DescriptorKeyID kScln = 0x53636C6E;

struct Host
{
    CHandleStore handles;
    CDescriptorStore store{handles};
    WriteDescriptorProcs write = store.MakeWriteProcs();
    ReadDescriptorProcs read = store.MakeReadProcs();
    std::vector<std::string> notes;

    Host()
    {
        store.SetNotify([this](std::string_view text) { notes.emplace_back(text); });
    }
};

TEST(DescriptorStoreTest, WrittenValuesReadBackInOrder)
{
    Host host;
    EXPECT_EQ(host.write.numWriteDescriptorProcs, 16);
    EXPECT_EQ(host.read.numReadDescriptorProcs, 18);
    PIWriteDescriptor w = host.write.openWriteDescriptorProc();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(host.write.putIntegerProc(w, kAmnt, 80), noErr);
    EXPECT_EQ(host.write.putIntegerProc(w, kFill, -3), noErr);
    EXPECT_EQ(host.write.putBooleanProc(w, kMode, 1), noErr);
    const double fValue = 0.25;
    EXPECT_EQ(host.write.putFloatProc(w, kScln, &fValue), noErr);
    PIDescriptorHandle h = nullptr;
    EXPECT_EQ(host.write.closeWriteDescriptorProc(w, &h), noErr);
    ASSERT_TRUE(host.handles.IsValid(h));
    EXPECT_EQ(host.store.OpenTokens(), 0u);

    DescriptorKeyID keys[] = {kAmnt, kFill, kMode, kScln, 0};
    PIReadDescriptor r = host.read.openReadDescriptorProc(h, keys);
    ASSERT_NE(r, nullptr);
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    int32 flags = -1;
    int32 nValue = 0;
    Boolean bValue = 0;
    double fRead = 0;

    ASSERT_TRUE(host.read.getKeyProc(r, &key, &type, &flags));
    EXPECT_EQ(key, kAmnt);
    EXPECT_EQ(type, typeInteger);
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(keys[0], 0u) << "a delivered key is zeroed in the caller's array";
    EXPECT_EQ(keys[1], kFill);
    EXPECT_EQ(host.read.getIntegerProc(r, &nValue), noErr);
    EXPECT_EQ(nValue, 80);
    ASSERT_TRUE(host.read.getKeyProc(r, &key, &type, &flags));
    EXPECT_EQ(host.read.getPinnedIntegerProc(r, 0, 100, &nValue), coercedParamErr);
    EXPECT_EQ(nValue, 0);
    ASSERT_TRUE(host.read.getKeyProc(r, &key, &type, &flags));
    EXPECT_EQ(type, typeBoolean);
    EXPECT_EQ(host.read.getBooleanProc(r, &bValue), noErr);
    EXPECT_EQ(bValue, 1);
    ASSERT_TRUE(host.read.getKeyProc(r, &key, &type, &flags));
    EXPECT_EQ(host.read.getFloatProc(r, &fRead), noErr);
    EXPECT_EQ(fRead, 0.25);
    EXPECT_FALSE(host.read.getKeyProc(r, &key, &type, &flags));
    EXPECT_EQ(host.read.closeReadDescriptorProc(r), coercedParamErr)
        << "the pinned value is remembered";
    EXPECT_TRUE(host.store.MissingKeys().empty());
    host.handles.Dispose(h);
    EXPECT_EQ(host.handles.LiveCount(), 0u);
    EXPECT_TRUE(host.notes.empty());
}

TEST(DescriptorStoreTest, WrongTypeFailsTheFetchAndTheClose)
{
    Host host;
    Handle h = host.store.MakeHandle({DescriptorItem::Bool(kAmnt, true)});
    PIReadDescriptor r = host.read.openReadDescriptorProc(h, nullptr);
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    ASSERT_TRUE(host.read.getKeyProc(r, &key, &type, nullptr));
    int32 nValue = 1234;
    EXPECT_EQ(host.read.getIntegerProc(r, &nValue), paramErr);
    EXPECT_EQ(nValue, 1234) << "a failed fetch leaves the value alone";
    EXPECT_EQ(host.read.closeReadDescriptorProc(r), paramErr);
    host.handles.Dispose(h);
}

TEST(DescriptorStoreTest, AbsentKeysAreReportedNotFailed)
{
    Host host;
    Handle h = host.store.MakeHandle({DescriptorItem::Integer(kAmnt, 150)});
    DescriptorKeyID keys[] = {kAmnt, kScln, 0};
    PIReadDescriptor r = host.read.openReadDescriptorProc(h, keys);
    DescriptorKeyID key = 0;
    while (host.read.getKeyProc(r, &key, nullptr, nullptr)) {
    }
    EXPECT_EQ(host.read.closeReadDescriptorProc(r), noErr);
    EXPECT_EQ(host.store.MissingKeys(), std::vector<DescriptorKeyID>{kScln});
    EXPECT_EQ(keys[1], kScln);
    host.handles.Dispose(h);
}

TEST(DescriptorStoreTest, ForeignHandlesAndTokensAreRefused)
{
    Host host;
    Handle notDescriptor = host.handles.New(12);
    EXPECT_EQ(host.read.openReadDescriptorProc(notDescriptor, nullptr), nullptr);
    int token = 0;
    auto* pFake = reinterpret_cast<PIReadDescriptor>(&token);
    DescriptorKeyID key = 0;
    EXPECT_FALSE(host.read.getKeyProc(pFake, &key, nullptr, nullptr));
    EXPECT_EQ(host.read.closeReadDescriptorProc(pFake), paramErr);
    EXPECT_EQ(host.write.putIntegerProc(reinterpret_cast<PIWriteDescriptor>(&token), kAmnt, 1),
              paramErr);
    EXPECT_EQ(host.notes.size(), 4u);
    host.handles.Dispose(notDescriptor);
}

TEST(DescriptorStoreTest, SerialFormRejectsDamage)
{
    const std::vector<DescriptorItem> items = {DescriptorItem::Integer(kAmnt, 80),
                                               DescriptorItem::Bool(kMode, false),
                                               DescriptorItem::Text(kFill, typeChar, "hello")};
    const auto bytes = SerializeDescriptor(items);
    const auto back = ParseDescriptor(bytes);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 3u);
    EXPECT_EQ((*back)[0].Describe(), "'Amnt' long 80");
    EXPECT_EQ((*back)[1].Describe(), "'Md  ' bool 0");
    EXPECT_EQ((*back)[2].Describe(), "'Fl  ' TEXT \"hello\"");
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        EXPECT_FALSE(ParseDescriptor(std::span(bytes.data(), n))) << "cut at " << n;
    }
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(ParseDescriptor(longer));
}

} // namespace
} // namespace gw::host
