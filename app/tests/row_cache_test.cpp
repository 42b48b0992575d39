#include "app/row_cache.h"

#include <gtest/gtest.h>

namespace {

app::RowCache::Row rowOf(const QString& text) { return {{text}, {QString()}}; }

TEST(RowCache, DropsTheRowReadLongestAgoWhenFull) {
  app::RowCache cache(3);
  cache.insert(10, rowOf("a"));
  cache.insert(11, rowOf("b"));
  cache.insert(12, rowOf("c"));
  cache.insert(13, rowOf("d"));
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_EQ(cache.find(10), nullptr);
  ASSERT_NE(cache.find(13), nullptr);
  EXPECT_EQ(cache.find(13)->cells.front(), "d");
  cache.insert(14, rowOf("e"));
  EXPECT_EQ(cache.find(11), nullptr);
  EXPECT_NE(cache.find(12), nullptr);
}

TEST(RowCache, ReplacingACachedRowKeepsTheOthers) {
  app::RowCache cache(2);
  cache.insert(0, rowOf("alt"));
  cache.insert(1, rowOf("b"));
  cache.insert(0, rowOf("neu"));
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_EQ(cache.find(0)->cells.front(), "neu");
  EXPECT_EQ(cache.find(1)->cells.front(), "b");
  cache.insert(2, rowOf("c"));
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_NE(cache.find(2), nullptr);
}

TEST(RowCache, ClearForgetsEveryRow) {
  app::RowCache cache(4);
  cache.insert(5, rowOf("x"));
  cache.clear();
  EXPECT_EQ(cache.size(), 0u);
  EXPECT_EQ(cache.find(5), nullptr);
  cache.insert(6, rowOf("y"));
  EXPECT_NE(cache.find(6), nullptr);
}

}  // namespace
