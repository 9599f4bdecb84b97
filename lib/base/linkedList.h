// A singly linked list of data pointers that remembers where it was last read, so walking
// it by increasing index costs one step per call. The base of stringList; an offered
// container of the toolkit, apart from the string vectors the pipeline uses.
#pragma once

namespace tulim {

struct listNode {
  void* data;
  listNode* next;
};

// Indices run from 0 to count() - 1. The cursor always designates the node at the cursor
// index (nothing when the list is empty); every change keeps that true. The plain list never
// frees its data; the caller keeps owning it.
class linkedList {
 public:
  linkedList() : linkedList(false) {}
  ~linkedList();
  linkedList(const linkedList&) = delete;
  linkedList& operator=(const linkedList&) = delete;

  // Adds a node at the end, moves the cursor to it and returns its index (the former count).
  int append(void* data);

  // Puts a node at index, clamped to 0..count: 0 in front, count at the end.
  void insert(int index, void* data);

  // The data at index, or null outside 0..count - 1. Index 0 or one below the cursor starts
  // again from the head; otherwise the walk goes on from the cursor.
  void* get(int index);

  // Unlinks the node at index (ignored outside 0..count - 1), freeing its data when the list
  // owns it.
  void remove(int index);

  // Frees every node (and owned data); the list is empty again.
  void clear();

  int count() const { return m_count; }

 protected:
  // With ownsData set, data is malloc'ed and freed with free when its node goes.
  explicit linkedList(bool ownsData);

  // Moves the cursor to index (0..count - 1), from the head when it is past it.
  listNode* walkTo(int index);

  bool m_ownsData;
  int m_cursorIndex = 0;
  listNode* m_cursor = nullptr;
  listNode* m_head = nullptr;
  listNode* m_tail = nullptr;
  int m_count = 0;
};

}  // namespace tulim
