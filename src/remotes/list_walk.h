// Walking a host's singly linked list without trusting it to end: a list whose last element
// points back into it is walked up to that element, once.
#pragma once

namespace tuner {

// The element whose next leads back to an element already walked, or null for a list that
// ends. Linear time, no memory (Floyd's tortoise and hare).
template <typename Record>
const Record* loopClosing(const Record* head) {
  const Record* slow = head;
  const Record* fast = head;
  while (fast != nullptr && fast->next != nullptr) {
    slow = slow->next;
    fast = fast->next->next;
    if (slow == fast) break;
  }
  if (fast == nullptr || fast->next == nullptr) return nullptr;
  // The loop starts where a walk from the head meets a walk from the meeting point.
  slow = head;
  while (slow != fast) {
    slow = slow->next;
    fast = fast->next;
  }
  const Record* last = slow;
  while (last->next != slow) last = last->next;
  return last;
}

// Calls visit on each element, in order, each once.
template <typename Record, typename Visit>
void walkList(Record* head, Visit visit) {
  const Record* closing = loopClosing<Record>(head);
  for (Record* record = head; record != nullptr;) {
    Record* next = record == closing ? nullptr : record->next;
    visit(record);
    record = next;
  }
}

}  // namespace tuner
