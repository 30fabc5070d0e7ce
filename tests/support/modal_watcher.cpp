#include "tests/support/modal_watcher.h"
#include "tests/support/text.h"

#include <algorithm>
#include <ostream>
#include <sstream>
#include <utility>

namespace zu::test {
namespace {

using Clock = std::chrono::steady_clock;

// One message to a dialog's thread may take this long. A thread that does not answer in time is
// not pumping messages; the rest of its dialog is read without any.
constexpr UINT kMessageTimeoutMs = 1000;
// A dialog still open this long after a command gets the next, blunter one.
constexpr auto kRetryAfter = std::chrono::seconds(1);
// An answered dialog that still exists is taken to be closing for this long. Under Wine on a
// display without a window manager, hiding a captioned window blocks its thread for 2 s waiting
// for the manager's acknowledgement, on top of whatever the dialog does as it ends.
constexpr auto kClosingGrace = std::chrono::seconds(10);
// How long the destructor waits for the dialogs it answered to close.
constexpr auto kCloseWait = std::chrono::seconds(3);
constexpr int kMaxTextChars = 1 << 16;
// How often ExpectedDialog asks for a look while it waits.
constexpr std::chrono::milliseconds kLookEvery{20};

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256];
  int length = GetClassNameW(hwnd, name, 256);
  return std::wstring(name, length > 0 ? length : 0);
}

bool SameName(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

bool IsStaticText(const std::wstring& class_name, LONG style) {
  if (!SameName(class_name, L"Static")) return false;
  switch (style & SS_TYPEMASK) {
    case SS_LEFT: case SS_CENTER: case SS_RIGHT: case SS_SIMPLE: case SS_LEFTNOWORDWRAP:
      return true;
    default:
      return false;  // icons, bitmaps, frames, owner-drawn
  }
}

// Push, split and command-link buttons; the odd member of each pair is the default style.
constexpr LONG kSplitButton = 0xC;
constexpr LONG kDefCommandLink = 0xF;

bool IsPushButton(const std::wstring& class_name, LONG style) {
  if (!SameName(class_name, L"Button")) return false;
  LONG type = style & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON ||
         (type >= kSplitButton && type <= kDefCommandLink);
}

bool HasDefaultStyle(LONG style) { return (style & BS_TYPEMASK & 1) != 0; }

bool Contains(const std::vector<int>& ids, int id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Reads texts with WM_GETTEXT (edit controls keep theirs out of the window's own text) unless the
// dialog's thread has stopped answering; then from the window's text without a message.
class TextReader {
 public:
  std::wstring Read(HWND hwnd) {
    if (responsive_) {
      DWORD_PTR length = 0;
      if (SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                              &length)) {
        std::wstring text(std::min<DWORD_PTR>(length, kMaxTextChars) + 1, L'\0');
        DWORD_PTR copied = 0;
        if (SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                                SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
          text.resize(std::min<std::size_t>(copied, text.size() - 1));
          return text;
        }
      }
      responsive_ = false;
    }
    std::wstring text(kMaxTextChars, L'\0');
    int length = InternalGetWindowText(hwnd, &text[0], kMaxTextChars);
    text.resize(length > 0 ? length : 0);
    return text;
  }

  // DM_GETDEFID's button, or 0.
  int DefaultId(HWND dialog) {
    DWORD_PTR result = 0;
    if (!responsive_ || !SendMessageTimeoutW(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG,
                                             kMessageTimeoutMs, &result)) {
      responsive_ = false;
      return 0;
    }
    return HIWORD(result) == DC_HASDEFID ? LOWORD(result) : 0;
  }

 private:
  bool responsive_ = true;
};

BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM param) {
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
  try {
    if (SameName(ClassOf(hwnd), L"#32770")) {
      reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    }
  } catch (...) {
    return FALSE;  // out of memory: no exception may cross user32
  }
  return TRUE;
}

// Visible dialogs of this process, oldest first as far as the z-order tells (a newer dialog is
// normally above the one that opened it).
std::vector<HWND> OpenDialogs() {
  std::vector<HWND> dialogs;
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
  std::reverse(dialogs.begin(), dialogs.end());
  return dialogs;
}

bool IsOpen(HWND dialog) { return IsWindow(dialog) && IsWindowVisible(dialog); }

std::string Describe(const std::vector<DialogRecord>& records) {
  if (records.empty()) return "no dialog was seen";
  std::ostringstream out;
  out << records.size() << " dialog(s) seen:";
  for (const DialogRecord& record : records) {
    out << "\n  ";
    PrintTo(record, &out);
  }
  return out.str();
}

}  // namespace

ModalWatcher::ModalWatcher(std::chrono::milliseconds poll_interval)
    : poll_interval_(poll_interval), thread_([this] { Run(); }) {}

ModalWatcher::~ModalWatcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    stopping_thread_ = GetCurrentThreadId();
  }
  wake_.notify_all();
  thread_.join();
}

void ModalWatcher::SetAnswer(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  standing_answer_ = id;
}

void ModalWatcher::QueueAnswer(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  queued_answers_.push_back(id);
}

std::vector<DialogRecord> ModalWatcher::Seen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

bool ModalWatcher::WaitFor(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return records_.size() >= count; });
}

void ModalWatcher::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
}

bool ModalWatcher::Sync(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  // A sweep under way may have listed the windows before the caller's opened.
  const std::uint64_t target = sweeps_ + (sweeping_ ? 2 : 1);
  wake_requested_ = true;
  wake_.notify_all();
  return changed_.wait_for(lock, timeout, [&] { return sweeps_ >= target; });
}

bool ModalWatcher::WaitForLooks(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::uint64_t target = sweeps_ + count + (sweeping_ ? 1 : 0);
  return changed_.wait_for(lock, timeout, [&] { return sweeps_ >= target; });
}

void ModalWatcher::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const bool last = stopping_;
    sweeping_ = true;
    lock.unlock();
    Sweep();
    lock.lock();
    sweeping_ = false;
    ++sweeps_;
    changed_.notify_all();
    if (last) break;
    wake_.wait_for(lock, poll_interval_, [this] { return stopping_ || wake_requested_; });
    wake_requested_ = false;
  }
  // The dialogs just answered close on their own threads. Waiting for them keeps them out of
  // the next test's watcher; a dialog of the destroying thread cannot close before it returns.
  const DWORD destroying = stopping_thread_;
  lock.unlock();
  const auto deadline = Clock::now() + kCloseWait;
  while (AnyOpenBeyond(destroying) && Clock::now() < deadline) {
    Sleep(10);
    Sweep();
  }
}

void ModalWatcher::Sweep() {
  for (auto it = open_.begin(); it != open_.end();) {
    it = IsWindow(it->first) ? std::next(it) : open_.erase(it);
  }
  for (HWND dialog : OpenDialogs()) {
    if (open_.find(dialog) == open_.end()) Record(dialog);
  }
  const auto now = Clock::now();
  for (auto& [dialog, tracked] : open_) {
    if (!WaitsOnLaterDialog(tracked, now)) Nudge(dialog, tracked, now);
  }
}

bool ModalWatcher::WaitsOnLaterDialog(const Tracked& tracked,
                                      std::chrono::steady_clock::time_point now) const {
  // Dialogs of one thread stack up: only the latest can take input. One that was answered keeps
  // the one below waiting while it closes, even after its owner has been re-enabled.
  for (const auto& [dialog, later] : open_) {
    if (later.thread_id != tracked.thread_id || later.sequence <= tracked.sequence) continue;
    const bool closing = later.attempts > 0 && now - later.last_sent < kClosingGrace;
    if (IsWindowVisible(dialog) || closing) return true;
  }
  return false;
}

void ModalWatcher::Record(HWND dialog) {
  DialogRecord record;
  record.thread_id = GetWindowThreadProcessId(dialog, nullptr);
  TextReader reader;
  record.caption = reader.Read(dialog);
  std::vector<int> enabled_buttons;
  int styled_default = 0;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    DialogControl control;
    control.id = GetDlgCtrlID(child);
    control.class_name = ClassOf(child);
    control.text = reader.Read(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (IsStaticText(control.class_name, style)) {
      if (!record.text.empty()) record.text += L'\n';
      record.text += control.text;
    }
    if (IsPushButton(control.class_name, style)) {
      record.button_ids.push_back(control.id);
      if (IsWindowEnabled(child)) {
        enabled_buttons.push_back(control.id);
        if (HasDefaultStyle(style) && !styled_default) styled_default = control.id;
      }
    }
    record.controls.push_back(std::move(control));
  }
  // The button drawn as the default is what Enter presses. DM_GETDEFID alone misleads: Wine
  // answers IDOK for every dialog that never sent DM_SETDEFID, a message box included, whether
  // or not it has an OK button.
  record.default_id = styled_default;
  if (!record.default_id) {
    const int reported = reader.DefaultId(dialog);
    if (Contains(enabled_buttons, reported)) record.default_id = reported;
  }

  Tracked tracked;
  tracked.thread_id = record.thread_id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    int wanted = standing_answer_;
    if (!queued_answers_.empty()) {
      wanted = queued_answers_.front();
      queued_answers_.pop_front();
    }
    if (wanted && Contains(enabled_buttons, wanted)) {
      record.answer = wanted;
    } else if (record.default_id) {
      record.answer = record.default_id;
    } else if (Contains(enabled_buttons, IDCANCEL) || !Contains(enabled_buttons, IDOK)) {
      record.answer = IDCANCEL;  // without either button, what Esc sends
    } else {
      record.answer = IDOK;
    }
    record.sequence = next_sequence_++;
    tracked.sequence = record.sequence;
    tracked.answer = record.answer;
    records_.push_back(record);
  }
  changed_.notify_all();
  open_.emplace(dialog, tracked);
}

void ModalWatcher::Nudge(HWND dialog, Tracked& tracked,
                         std::chrono::steady_clock::time_point now) {
  // A disabled dialog waits on a window it opened, which goes first.
  if (!IsOpen(dialog) || !IsWindowEnabled(dialog)) return;
  if (tracked.attempts > 0 && now - tracked.last_sent < kRetryAfter) return;
  // An ignored answer is followed by what Esc does, then the close box, then EndDialog.
  if (tracked.step == 1 && tracked.answer == IDCANCEL) tracked.step = 2;
  if (tracked.step > 3) return;
  const int step = tracked.step++;
  ++tracked.attempts;
  tracked.last_sent = now;
  {
    // Before the command: the dialog's caller may look at the record as soon as it returns.
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
      if (it->sequence == tracked.sequence) {
        it->attempts = tracked.attempts;
        break;
      }
    }
  }
  switch (step) {
    case 0:
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(tracked.answer, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, tracked.answer)));
      break;
    case 1:
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
      break;
    case 2:
      PostMessageW(dialog, WM_CLOSE, 0, 0);
      break;
    default:
      // It only sets the dialog's flags and wakes its loop, so it works from this thread too.
      EndDialog(dialog, tracked.answer);
      break;
  }
}

bool ModalWatcher::AnyOpenBeyond(DWORD thread_id) const {
  for (const auto& [dialog, tracked] : open_) {
    if (tracked.thread_id != thread_id && IsOpen(dialog)) return true;
  }
  return false;
}

::testing::AssertionResult ExpectedDialog(const ModalWatcher& watcher, std::wstring_view caption,
                                          std::wstring_view text_part,
                                          std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const bool last = Clock::now() >= deadline;
    if (!watcher.Sync()) return ::testing::AssertionFailure() << "the watcher did not finish a look";
    const std::vector<DialogRecord> seen = watcher.Seen();
    for (const DialogRecord& record : seen) {
      if (record.caption == caption && record.text.find(text_part) != std::wstring::npos) {
        return ::testing::AssertionSuccess();
      }
    }
    if (last) {
      return ::testing::AssertionFailure()
             << "expected a dialog \"" << Utf8(caption) << "\" saying \"" << Utf8(text_part)
             << "\"; " << Describe(seen);
    }
    // Until the next look: a dialog recorded meanwhile cuts the wait short.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    watcher.WaitFor(seen.size() + 1, std::clamp(left, std::chrono::milliseconds(0), kLookEvery));
  }
}

::testing::AssertionResult NoDialogs(const ModalWatcher& watcher) {
  if (!watcher.Sync()) return ::testing::AssertionFailure() << "the watcher did not finish a look";
  const std::vector<DialogRecord> seen = watcher.Seen();
  if (seen.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << Describe(seen);
}

void PrintTo(const DialogRecord& record, std::ostream* out) {
  *out << "#" << record.sequence << " \"" << Utf8(record.caption) << "\": \"" << Utf8(record.text)
       << "\" buttons [";
  for (std::size_t i = 0; i < record.button_ids.size(); ++i) {
    *out << (i ? " " : "") << record.button_ids[i];
  }
  *out << "] default " << record.default_id << ", answered " << record.answer << " (attempts "
       << record.attempts << ", thread " << record.thread_id << ")";
}

}  // namespace zu::test
