#include "files/save_stream.h"
#include "objects/timer_list.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/objects/scene_fixture.h"

using QueueTest = SceneTest;

TEST_F(QueueTest, DestroyingAnObjectRemovesOnlyItsWaitingEntries) {
    TTestBox* a = Box("a", 0, 0, 1, 1);
    TTestBox* b = Box("b", 0, 0, 1, 1);
    reg->Events.AddEvent(a, "up.vsb", nullptr, PR_ONLBTNUP);
    reg->Events.AddEvent(a, "move.vsb", nullptr, PR_ONMOUSEMOVE);
    reg->Events.AddEvent(b, "b.vsb", nullptr, PR_ONMOUSEMOVE);
    reg->Events.Get(0).State = 2;  // a's release handler is running
    a->FreeNow();
    ASSERT_EQ(reg->Events.Count(), 2);
    const TTimerData& running = reg->Events.Get(0);
    EXPECT_EQ(running.Label, "up.vsb");
    EXPECT_EQ(running.Object, "a");
    // The entry outlives its object without pointing at it.
    EXPECT_EQ(reg->Events.ObjectOf(running), nullptr);
    // A new object at the same place is not mistaken for the old one.
    TTestBox* c = Box("a", 0, 0, 1, 1);
    EXPECT_EQ(reg->Events.ObjectOf(running), nullptr);
    EXPECT_EQ(reg->Events.Find(c, PR_ONLBTNUP), -1);
    EXPECT_EQ(reg->Events.FirstPending()->Label, "b.vsb");
    reg->Events.RemoveByState(2);
    EXPECT_EQ(reg->Events.Count(), 1);
}

TEST_F(QueueTest, SaveAndLoadKeepStatesAndResolveNames) {
    TTestBox* a = Box("a", 0, 0, 1, 1);
    TArrayString args;
    args.Add("3");
    args.Add("4");
    reg->Events.AddEvent(a, "down.vsb", &args, PR_ONLBTNDOWN);
    reg->Events.AddEvent(nullptr, "free.vsb", nullptr, PR_ONNOTIFY);
    reg->Events.Get(1).State = 3;
    TMemoryStream s;
    reg->Events.SaveToStream(s);
    s.SetPosition(0);
    TTimerList copy(reg.get());
    copy.LoadFromStream(s, 130);
    EXPECT_EQ(s.Remaining(), 0);
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.ObjectOf(copy.Get(0)), a);
    EXPECT_EQ(copy.Get(0).State, 0);
    EXPECT_EQ(copy.Get(0).Args.Get(1), "4");
    EXPECT_EQ(copy.Get(1).State, 3);
    EXPECT_EQ(copy.ObjectOf(copy.Get(1)), nullptr);
    EXPECT_EQ(copy.Get(1).EventId, PR_ONNOTIFY);
    // The same bytes again.
    TMemoryStream again;
    copy.SaveToStream(again);
    EXPECT_TRUE(std::equal(s.Bytes().begin(), s.Bytes().end(), again.Bytes().begin(), again.Bytes().end()));
}

TEST_F(QueueTest, OldSavesStoreTheTakenFlagAsAByte) {
    TMemoryStream s;
    WriteStreamInteger(s, 1);
    WriteStreamString(s, "h.vsb");
    WriteStreamString(s, "gone");  // no such object: an entry without object
    WriteStreamByte(s, PR_ONPLAYEND);
    WriteStreamByte(s, 5);
    WriteStreamInteger(s, 0);
    s.SetPosition(0);
    TTimerList q(reg.get());
    q.LoadFromStream(s, 113);
    ASSERT_EQ(q.Count(), 1);
    EXPECT_EQ(q.Get(0).State, 1);
    EXPECT_EQ(q.ObjectOf(q.Get(0)), nullptr);
    EXPECT_EQ(q.Get(0).Label, "h.vsb");
}

TEST_F(QueueTest, DamagedQueuesRaiseClearErrors) {
    TMemoryStream s;
    WriteStreamInteger(s, 1000000);
    WriteStreamString(s, "h.vsb");
    s.SetPosition(0);
    TTimerList q(reg.get());
    EXPECT_THROW(q.LoadFromStream(s, 130), ECorruptData);
    TMemoryStream t;
    WriteStreamInteger(t, 1);
    WriteStreamString(t, "h.vsb");
    WriteStreamString(t, "");
    WriteStreamByte(t, 1);
    WriteStreamInteger(t, 0);
    WriteStreamInteger(t, 0);
    for (int cut = 4; cut < t.GetSize(); cut += 3) {
        TMemoryStream u;
        u.WriteBuffer(t.Memory(), cut);
        u.SetPosition(0);
        EXPECT_THROW(q.LoadFromStream(u, 130), ECorruptData) << cut;
    }
}
