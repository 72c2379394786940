// Buffer groups over memory the caller supplies, recycling, and memory that outlives the
// group's end while a buffer is still out.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/media/BBuffer.h"
#include "platform/media/BBufferGroup.h"
#include "platform/support/Area.h"

namespace {

struct Areas {
  explicit Areas(size_t size) {
    for (int i = 0; i < 3; i++) ids[i] = create_area("test", &addresses[i], size);
  }
  ~Areas() {
    for (area_id id : ids)
      if (id >= 0) delete_area(id);
  }
  area_id ids[3];
  void* addresses[3];
};

TEST(AreaTest, AreaForFindsInteriorAddressesOnly) {
  void* address;
  area_id area = create_area("a", &address, 10000);
  ASSERT_GT(area, 0);
  EXPECT_EQ(area_for(address), area);
  EXPECT_EQ(area_for(static_cast<char*>(address) + 9999), area);
  int onStack = 0;
  EXPECT_EQ(area_for(&onStack), -1);
  area_info info;
  ASSERT_EQ(get_area_info(area, &info), B_OK);
  EXPECT_GE(info.size, 10000u);
  EXPECT_EQ(delete_area(area), B_OK);
  EXPECT_EQ(area_for(address), -1);
  EXPECT_EQ(delete_area(area), B_BAD_VALUE);
}

TEST(BufferGroupTest, BuffersShareTheSuppliedMemoryInTheOrderAdded) {
  Areas areas(4096);
  BBufferGroup group;
  ASSERT_EQ(group.InitCheck(), B_OK);
  for (int i = 0; i < 3; i++)
    ASSERT_EQ(group.AddBuffer(buffer_clone_info{0, areas.ids[i], 0, 4096, i}), B_OK);
  BBuffer* list[3] = {};
  ASSERT_EQ(group.GetBufferList(3, list), B_OK);
  for (int i = 0; i < 3; i++) {
    ASSERT_NE(list[i], nullptr);
    EXPECT_EQ(list[i]->Flags(), uint32(i));
    EXPECT_EQ(list[i]->SizeAvailable(), 4096u);
    // What the producer writes into the buffer is what the owner of the area sees.
    std::memset(list[i]->Data(), 0x40 + i, 4096);
    EXPECT_EQ(static_cast<uint8*>(areas.addresses[i])[4095], 0x40 + i);
  }
}

TEST(BufferGroupTest, RefusesBuffersOutsideTheirArea) {
  Areas areas(4096);
  BBufferGroup group;
  EXPECT_EQ(group.AddBuffer(buffer_clone_info{0, areas.ids[0], 4000, 200, 0}), B_BAD_VALUE);
  EXPECT_EQ(group.AddBuffer(buffer_clone_info{0, -1, 0, 16, 0}), B_BAD_VALUE);
  EXPECT_EQ(group.AddBuffer(buffer_clone_info{0, areas.ids[0], 0, 0, 0}), B_BAD_VALUE);
  int32 count = -1;
  EXPECT_EQ(group.CountBuffers(&count), B_OK);
  EXPECT_EQ(count, 0);
}

TEST(BufferGroupTest, RequestAndRecycle) {
  BBufferGroup group(1000, 2);
  ASSERT_EQ(group.InitCheck(), B_OK);
  BBuffer* a = group.RequestBuffer(1000, 0);
  BBuffer* b = group.RequestBuffer(1000, 0);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a, b);
  EXPECT_EQ(group.RequestBuffer(1000, 0), nullptr);
  EXPECT_EQ(group.RequestError(), B_WOULD_BLOCK);
  EXPECT_EQ(group.RequestBuffer(2000, 0), nullptr);
  a->Recycle();
  a->Recycle();  // a second recycle must not hand the buffer out twice
  EXPECT_EQ(group.CountFreeBuffers(), 1);
  EXPECT_EQ(group.RequestBuffer(1000, 10000), a);
  b->Recycle();
  a->Recycle();
  EXPECT_EQ(group.CountFreeBuffers(), 2);
}

TEST(BufferGroupTest, SharedGroupSeesTheOwnersBuffersAndItsEnd) {
  Areas areas(4096);
  auto* owner = new BBufferGroup;
  for (int i = 0; i < 3; i++) owner->AddBuffer(buffer_clone_info{0, areas.ids[i], 0, 4096, i});
  BBuffer* list[3];
  owner->GetBufferList(3, list);
  media_buffer_id ids[3] = {list[0]->ID(), list[1]->ID(), list[2]->ID()};
  BBufferGroup shared(3, ids);
  ASSERT_EQ(shared.InitCheck(), B_OK);
  BBuffer* out = shared.RequestBuffer(4096, 0);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out == list[0] || out == list[1] || out == list[2]);

  // The owner ends its group and frees the memory it supplied while a buffer is out: the
  // buffer stays writable, and the shared group hands out nothing more.
  delete owner;
  for (area_id& id : areas.ids) {
    delete_area(id);
    id = -1;
  }
  std::memset(out->Data(), 0xAB, out->SizeAvailable());
  EXPECT_EQ(shared.RequestBuffer(4096, 0), nullptr);
  EXPECT_EQ(shared.RequestError(), B_MEDIA_BAD_BUFFER);
  EXPECT_FALSE(shared.IsAlive());
  out->Recycle();
}

TEST(BufferGroupTest, UnknownBufferIdsMakeNoGroup) {
  media_buffer_id ids[1] = {999999};
  BBufferGroup shared(1, ids);
  EXPECT_NE(shared.InitCheck(), B_OK);
  EXPECT_EQ(shared.RequestBuffer(1, 0), nullptr);
}

}  // namespace
