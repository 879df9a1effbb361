// The per-thread click queue behind QueueClick: users (items and viewers)
// are counted, and the hidden window and the slot list live from the first
// use to the last user's end.
#pragma once

namespace TBClickQueue {
// Called by every item and viewer made and freed on this thread.
void AddUser();
void RemoveUser();
// For tests: the number of slots in use now (cancelled ones included).
int PendingSlots();
}  // namespace TBClickQueue
