#include "linkedList.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace tulim;

namespace {

// A list whose inner state the tests can check against what it must be.
class inspectedList : public linkedList {
 public:
  int cursorIndex() const { return m_cursorIndex; }

  // The list's links agree with the expected contents and the cursor is on its index.
  void expectConsistent(const std::vector<void*>& expected) const {
    ASSERT_EQ(m_count, static_cast<int>(expected.size()));
    if (expected.empty()) {
      EXPECT_EQ(m_head, nullptr);
      EXPECT_EQ(m_tail, nullptr);
      EXPECT_EQ(m_cursor, nullptr);
      EXPECT_EQ(m_cursorIndex, 0);
      return;
    }
    ASSERT_GE(m_cursorIndex, 0);
    ASSERT_LT(m_cursorIndex, m_count);
    const listNode* node = m_head;
    for (int i = 0; i < m_count; i++) {
      ASSERT_NE(node, nullptr) << "node " << i;
      EXPECT_EQ(node->data, expected[i]) << "node " << i;
      if (i == m_cursorIndex) {
        EXPECT_EQ(node, m_cursor) << "cursor at " << i;
      }
      if (i == m_count - 1) {
        EXPECT_EQ(node, m_tail);
        EXPECT_EQ(node->next, nullptr);
      }
      node = node->next;
    }
  }

  // Reads index with the head replaced by a chain of other nodes: whatever comes from that
  // chain was read by starting again from the head instead of walking on from the cursor.
  void* getWithDecoyHead(int index, void* decoyData) {
    std::vector<listNode> decoy(m_count);
    for (int i = 0; i < m_count; i++) decoy[i] = listNode{decoyData, i + 1 < m_count ? &decoy[i + 1] : nullptr};
    listNode* head = m_head;
    m_head = decoy.data();
    void* data = get(index);
    bool onDecoy = false;
    for (const listNode& node : decoy) onDecoy = onDecoy || m_cursor == &node;
    m_head = head;
    if (onDecoy) {
      m_cursor = m_head;
      m_cursorIndex = 0;
    }
    return data;
  }
};

// Distinct data pointers that the plain list must never free (freeing any would be caught
// by the sanitizer build).
struct values {
  int cells[64];
  void* operator[](int i) { return &cells[i]; }
};

}  // namespace

TEST(LinkedList, AppendReturnsTheFormerCountAndMovesTheCursor) {
  inspectedList list;
  values v;
  list.expectConsistent({});
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(list.append(v[i]), i);
    EXPECT_EQ(list.cursorIndex(), i);
  }
  list.expectConsistent({v[0], v[1], v[2]});
  EXPECT_EQ(list.count(), 3);
}

TEST(LinkedList, GetWalksOnFromTheCursorAndRestartsBelowIt) {
  inspectedList list;
  values v;
  int decoy = 0;
  for (int i = 0; i < 3; i++) list.append(v[i]);

  EXPECT_EQ(list.get(0), v[0]);
  // Increasing indices go on from where the last read stopped.
  EXPECT_EQ(list.getWithDecoyHead(1, &decoy), v[1]);
  EXPECT_EQ(list.getWithDecoyHead(2, &decoy), v[2]);
  EXPECT_EQ(list.cursorIndex(), 2);
  // The same index again stays where it is; a lower one starts from the head.
  EXPECT_EQ(list.getWithDecoyHead(2, &decoy), v[2]);
  EXPECT_EQ(list.getWithDecoyHead(1, &decoy), &decoy);
  EXPECT_EQ(list.get(1), v[1]);
  EXPECT_EQ(list.cursorIndex(), 1);

  EXPECT_EQ(list.get(3), nullptr);
  EXPECT_EQ(list.get(-1), nullptr);
  EXPECT_EQ(list.cursorIndex(), 1);
  list.expectConsistent({v[0], v[1], v[2]});
}

TEST(LinkedList, InsertClampsTheIndexAndKeepsTheCursorOnItsNode) {
  inspectedList list;
  values v;
  list.insert(5, v[0]);  // an empty list: at 0 whatever the index
  list.expectConsistent({v[0]});
  list.insert(0, v[1]);  // in front: the cursor's node moved back
  EXPECT_EQ(list.cursorIndex(), 1);
  list.expectConsistent({v[1], v[0]});
  list.insert(99, v[2]);  // clamped to the end: the new tail
  list.expectConsistent({v[1], v[0], v[2]});
  list.insert(-4, v[3]);  // clamped to the front
  list.expectConsistent({v[3], v[1], v[0], v[2]});
  list.get(3);
  list.insert(2, v[4]);  // before the cursor's position: from the head
  list.expectConsistent({v[3], v[1], v[4], v[0], v[2]});
  list.get(0);
  list.insert(4, v[5]);  // after it: walking on
  list.expectConsistent({v[3], v[1], v[4], v[0], v[5], v[2]});
  list.append(v[6]);
  list.expectConsistent({v[3], v[1], v[4], v[0], v[5], v[2], v[6]});
}

TEST(LinkedList, RemoveRelinksAndKeepsHeadTailAndCursor) {
  inspectedList list;
  values v;
  for (int i = 0; i < 4; i++) list.append(v[i]);
  list.remove(0);
  EXPECT_EQ(list.cursorIndex(), 0);
  EXPECT_EQ(list.get(1), v[2]);  // what was the third element
  list.expectConsistent({v[1], v[2], v[3]});

  list.get(2);
  list.remove(2);  // the cursor's own node, the tail
  list.expectConsistent({v[1], v[2]});
  list.append(v[4]);  // goes after the new tail
  list.expectConsistent({v[1], v[2], v[4]});

  list.remove(3);
  list.remove(-1);
  list.expectConsistent({v[1], v[2], v[4]});

  list.remove(1);
  list.remove(1);
  list.remove(0);  // the only node
  list.expectConsistent({});
  list.append(v[5]);
  list.expectConsistent({v[5]});
  list.clear();
  list.expectConsistent({});
  EXPECT_EQ(list.get(0), nullptr);
}

TEST(LinkedList, AgreesWithAVectorOverRandomOperations) {
  inspectedList list;
  values v;
  std::vector<void*> expected;
  std::mt19937 random(11);
  for (int step = 0; step < 3000; step++) {
    const int n = static_cast<int>(expected.size());
    const int index = static_cast<int>(random() % (n + 3)) - 1;  // -1 .. n+1
    void* data = v[step % 64];
    switch (random() % 5) {
      case 0:
        EXPECT_EQ(list.append(data), n);
        expected.push_back(data);
        break;
      case 1: {
        const int at = index < 0 ? 0 : (index > n ? n : index);
        list.insert(index, data);
        expected.insert(expected.begin() + at, data);
        break;
      }
      case 2:
        EXPECT_EQ(list.get(index), index >= 0 && index < n ? expected[index] : nullptr) << "step " << step;
        break;
      case 3:
        list.remove(index);
        if (index >= 0 && index < n) expected.erase(expected.begin() + index);
        break;
      default:
        if (random() % 50 == 0) {
          list.clear();
          expected.clear();
        }
    }
    list.expectConsistent(expected);
    if (testing::Test::HasFailure()) FAIL() << "at step " << step;
  }
}
