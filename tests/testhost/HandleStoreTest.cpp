// The host's handles as a plug-in uses them through HandleProcs.
#include "HandleStore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace gw::host {
namespace {

TEST(HandleStoreTest, ProcsCreateLockResizeAndDispose)
{
    CHandleStore store;
    const HandleProcs procs = store.MakeProcs();
    EXPECT_EQ(procs.handleProcsVersion, 1);
    EXPECT_EQ(procs.numHandleProcs, 8);

    Handle h = procs.newProc(5);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(procs.getSizeProc(h), 5);
    Ptr p = procs.lockProc(h, 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p, *h) << "the master pointer holds the data address";
    EXPECT_EQ(std::string(p, 5), std::string(5, '\0')) << "new handles are zero-filled";
    std::memcpy(p, "abcde", 5);
    procs.unlockProc(h);

    EXPECT_EQ(procs.setSizeProc(h, 8), noErr);
    EXPECT_EQ(procs.getSizeProc(h), 8);
    EXPECT_EQ(std::string(*h, 8), std::string("abcde\0\0\0", 8))
        << "growing keeps the data, zero-fills the rest";
    EXPECT_EQ(procs.setSizeProc(h, 2), noErr);
    EXPECT_EQ(std::string(procs.lockProc(h, 0), 2), "ab");
    EXPECT_EQ(store.LiveCount(), 1u);
    procs.disposeProc(h);
    EXPECT_EQ(store.LiveCount(), 0u);

    Handle empty = procs.newProc(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(*empty, nullptr) << "even an empty handle has a master pointer";
    procs.disposeRegularHandleProc(empty);
    EXPECT_EQ(store.LiveCount(), 0u);
}

TEST(HandleStoreTest, MisuseIsReportedAndHarmless)
{
    CHandleStore store;
    std::vector<std::string> notes;
    store.SetNotify([&](std::string_view text) { notes.emplace_back(text); });
    const HandleProcs procs = store.MakeProcs();

    EXPECT_EQ(procs.newProc(-1), nullptr);
    Handle h = procs.newProc(4);
    procs.disposeProc(h);
    procs.disposeProc(h); // twice
    EXPECT_EQ(procs.lockProc(h, 0), nullptr);
    EXPECT_EQ(procs.getSizeProc(h), 0);
    EXPECT_EQ(procs.setSizeProc(h, 10), paramErr);
    EXPECT_EQ(procs.setSizeProc(nullptr, 10), nilHandleErr);
    procs.disposeProc(nullptr); // disposing of null is allowed and silent
    Handle alive = procs.newProc(1);
    EXPECT_EQ(procs.setSizeProc(alive, -5), paramErr);
    EXPECT_EQ(procs.getSizeProc(alive), 1);

    ASSERT_EQ(notes.size(), 6u);
    EXPECT_EQ(notes[0], "newProc with negative size -1");
    EXPECT_EQ(notes[1], "disposeProc with an unknown handle");
    EXPECT_EQ(notes[5], "setSizeProc with negative size -5");
}

TEST(HandleStoreTest, OlderHostsOfferSevenProcs)
{
    CHandleStore store;
    const HandleProcs procs = store.MakeProcs(7);
    EXPECT_EQ(procs.numHandleProcs, 7);
    EXPECT_EQ(procs.disposeRegularHandleProc, nullptr);
}

TEST(HandleStoreTest, HostCopiesBytesInAndOut)
{
    CHandleStore store;
    const std::vector<std::uint8_t> bytes = {1, 2, 3, 250};
    Handle h = store.NewFromBytes(bytes);
    EXPECT_EQ(store.Bytes(h), bytes);
    EXPECT_TRUE(store.IsValid(h));
    EXPECT_TRUE(store.Bytes(nullptr).empty());
    store.Dispose(h);
    EXPECT_FALSE(store.IsValid(h));
}

} // namespace
} // namespace gw::host
