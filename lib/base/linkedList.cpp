#include "linkedList.h"

#include <climits>
#include <cstdlib>

#include "utility.h"

namespace tulim {

namespace {

void checkRoom(int count) {
  if (count == INT_MAX) errorThrowf("A list holds at most %d nodes (line %d of %s)", INT_MAX, TULIM_HERE);
}

}  // namespace

linkedList::linkedList(bool ownsData) : m_ownsData(ownsData) {}

linkedList::~linkedList() { clear(); }

listNode* linkedList::walkTo(int index) {
  if (index < m_cursorIndex || !m_cursor) {
    m_cursor = m_head;
    m_cursorIndex = 0;
  }
  while (m_cursorIndex < index) {
    m_cursor = m_cursor->next;
    m_cursorIndex++;
  }
  return m_cursor;
}

int linkedList::append(void* data) {
  checkRoom(m_count);
  listNode* node = new listNode{data, nullptr};
  if (m_tail)
    m_tail->next = node;
  else
    m_head = node;
  m_tail = node;
  m_cursor = node;
  m_cursorIndex = m_count;
  return m_count++;
}

void linkedList::insert(int index, void* data) {
  checkRoom(m_count);
  if (index < 0) index = 0;
  if (index > m_count) index = m_count;
  listNode* node = new listNode{data, nullptr};
  if (index == 0) {
    node->next = m_head;
    m_head = node;
    if (!m_tail) m_tail = node;
    // The cursor's node moved back one place; an empty list gets its first cursor.
    if (m_cursor)
      m_cursorIndex++;
    else
      m_cursor = node;
  } else {
    listNode* before = walkTo(index - 1);
    node->next = before->next;
    before->next = node;
    if (before == m_tail) m_tail = node;
  }
  m_count++;
}

void* linkedList::get(int index) {
  if (index < 0 || index >= m_count) return nullptr;
  if (index == 0) {
    m_cursor = m_head;
    m_cursorIndex = 0;
  }
  return walkTo(index)->data;
}

void linkedList::remove(int index) {
  if (index < 0 || index >= m_count) return;
  listNode* gone;
  if (index == 0) {
    gone = m_head;
    m_head = gone->next;
    if (!m_head) m_tail = nullptr;
    m_cursor = m_head;
    m_cursorIndex = 0;
  } else {
    listNode* before = walkTo(index - 1);
    gone = before->next;
    before->next = gone->next;
    if (gone == m_tail) m_tail = before;
  }
  if (m_ownsData) free(gone->data);
  delete gone;
  m_count--;
}

void linkedList::clear() {
  listNode* node = m_head;
  while (node) {
    listNode* next = node->next;
    if (m_ownsData) free(node->data);
    delete node;
    node = next;
  }
  m_head = m_tail = m_cursor = nullptr;
  m_count = 0;
  m_cursorIndex = 0;
}

}  // namespace tulim
