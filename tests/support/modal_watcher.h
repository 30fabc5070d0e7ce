// ModalWatcher: answers the message boxes and modal dialogs that code under test opens.
//
// A test creates one on its stack. While it lives, a background thread looks every few
// milliseconds for visible dialog windows (class "#32770") of this process, on any thread,
// records what each one says and clicks a button on it, so no test can wait forever on a window
// nobody will close, and a test can check what a user would have read and which answer the code
// got. Windows of other processes (tests running beside this one) are left alone.
//
// The answer for a dialog is chosen when it first appears, so a test sets it before the code
// under test runs. A dialog that ignores its answer gets Cancel, then the close box, then
// EndDialog, a second apart. Dialogs of one thread are answered from the top of the stack down;
// a disabled dialog waits for whatever disabled it.
//
//   ModalWatcher watcher;
//   watcher.SetAnswer(IDNO);
//   control->Close();                                   // asks "Save changes?"
//   EXPECT_TRUE(ExpectedDialog(watcher, L"Camera", L"Save changes"));
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zu::test {

// One visible child control of a dialog.
struct DialogControl {
  int id = 0;
  std::wstring class_name;
  std::wstring text;
};

// What a dialog showed when the watcher first saw it, and how it was answered.
struct DialogRecord {
  std::size_t sequence = 0;   // order of appearance since the watcher started; Clear keeps counting
  DWORD thread_id = 0;        // the thread that owns the dialog
  std::wstring caption;
  // What the dialog says: the texts of its static text controls, in order, one a line. For a
  // message box that is exactly its message.
  std::wstring text;
  std::vector<DialogControl> controls;  // visible child controls, front to back (creation order)
  std::vector<int> button_ids;          // visible push buttons, in the same order
  int default_id = 0;   // the button Enter would press; 0 when there is none
  int answer = 0;       // the button the watcher pressed
  int attempts = 0;     // 1 when the dialog obeyed the first command; more when it had to insist
};

class ModalWatcher {
 public:
  static constexpr std::chrono::milliseconds kDefaultPollInterval{10};
  static constexpr std::chrono::milliseconds kDefaultTimeout{5000};

  // A long poll interval leaves the dialogs to Sync() and the destructor.
  explicit ModalWatcher(std::chrono::milliseconds poll_interval = kDefaultPollInterval);
  // Records and dismisses what is still open, then waits (briefly) for it to close.
  ~ModalWatcher();
  ModalWatcher(const ModalWatcher&) = delete;
  ModalWatcher& operator=(const ModalWatcher&) = delete;

  // The button pressed on every dialog from now on (IDNO, IDCANCEL...); 0 restores the default:
  // the default button, else Cancel, else OK. An answer the dialog has no enabled button for is
  // not sent (a message box would return it all the same under Wine); the default is used.
  void SetAnswer(int id);
  // One-shot answers, given to the next dialogs in the order they appear, before SetAnswer's.
  void QueueAnswer(int id);

  std::vector<DialogRecord> Seen() const;
  // True once at least `count` dialogs are recorded.
  bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = kDefaultTimeout) const;
  // Forgets the records; dialogs already seen are not recorded again.
  void Clear();
  // Returns after a complete look at the windows that began after the call, so that anything
  // already open is recorded: for a test that asserts that nothing opened.
  bool Sync(std::chrono::milliseconds timeout = kDefaultTimeout) const;
  // Returns after `count` complete looks that began after the call, without asking for any: the
  // watcher's own polls, or those that Sync asked for elsewhere. For a test that lets the watcher
  // look a few times before it checks that something was left alone.
  bool WaitForLooks(std::size_t count, std::chrono::milliseconds timeout = kDefaultTimeout) const;

 private:
  struct Tracked {
    std::size_t sequence = 0;
    DWORD thread_id = 0;
    int answer = 0;
    int step = 0;      // how far the watcher has had to go to close it
    int attempts = 0;
    std::chrono::steady_clock::time_point last_sent;
  };

  void Run();
  void Sweep();
  void Record(HWND dialog);
  bool WaitsOnLaterDialog(const Tracked& tracked, std::chrono::steady_clock::time_point now) const;
  void Nudge(HWND dialog, Tracked& tracked, std::chrono::steady_clock::time_point now);
  bool AnyOpenBeyond(DWORD thread_id) const;

  const std::chrono::milliseconds poll_interval_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // records added, a sweep completed
  mutable std::condition_variable wake_;     // to the watcher thread: sweep now, or stop
  std::vector<DialogRecord> records_;
  std::size_t next_sequence_ = 0;
  int standing_answer_ = 0;
  std::deque<int> queued_answers_;
  mutable bool wake_requested_ = false;
  bool stopping_ = false;
  DWORD stopping_thread_ = 0;
  bool sweeping_ = false;
  std::uint64_t sweeps_ = 0;

  // Only the watcher thread touches these.
  std::unordered_map<HWND, Tracked> open_;

  std::thread thread_;  // last: starts once everything above is ready
};

// Success when a dialog with exactly `caption` whose text contains `text_part` has been seen, or
// appears within `timeout`; the failure lists every dialog seen. It asks the watcher for its looks
// while it waits, and fails only after one that began past the deadline, so a slow watcher thread
// cannot turn an open dialog into a failure.
::testing::AssertionResult ExpectedDialog(
    const ModalWatcher& watcher, std::wstring_view caption, std::wstring_view text_part,
    std::chrono::milliseconds timeout = ModalWatcher::kDefaultTimeout);

// Success when nothing has been seen after a full look at the open windows.
::testing::AssertionResult NoDialogs(const ModalWatcher& watcher);

// For GoogleTest's messages: the caption, text, buttons and answer, in UTF-8.
void PrintTo(const DialogRecord& record, std::ostream* out);

}  // namespace zu::test
