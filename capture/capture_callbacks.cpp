#include "capture/capture_callbacks.h"

#include <mutex>

namespace zu {
namespace {

// A process holds few capture controls; the table is fixed so routing never allocates.
constexpr int kMaxRoutes = 64;

struct Route {
  HWND window;
  CaptureCallbackTarget* target;
};

// Controls may live on several apartment threads; each callback runs on its window's thread.
std::mutex g_lock;
Route g_routes[kMaxRoutes] = {};

CaptureCallbackTarget* TargetOf(HWND window) {
  if (window == nullptr) return nullptr;
  std::lock_guard<std::mutex> hold(g_lock);
  for (const Route& route : g_routes) {
    if (route.window == window) return route.target;
  }
  return nullptr;
}

LRESULT Notify(HWND window, int id, LPCSTR text) {
  CaptureCallbackTarget* target = TargetOf(window);
  return target ? target->OnCaptureNotify(window, id, text) : FALSE;
}

}  // namespace

bool RouteCaptureCallbacks(HWND capture_window, CaptureCallbackTarget* target) noexcept {
  std::lock_guard<std::mutex> hold(g_lock);
  Route* free_route = nullptr;
  for (Route& route : g_routes) {
    if (route.window == capture_window) {
      route.target = target;
      return true;
    }
    if (route.window == nullptr && free_route == nullptr) free_route = &route;
  }
  if (free_route == nullptr) return false;
  *free_route = Route{capture_window, target};
  return true;
}

void StopCaptureCallbacks(CaptureCallbackTarget* target) noexcept {
  std::lock_guard<std::mutex> hold(g_lock);
  for (Route& route : g_routes) {
    if (route.target == target) route = Route{};
  }
}

// The callbacks run while the target's window thread is inside the capture window's message
// processing, so the target cannot be released between the lookup and the call on that thread.
LRESULT CALLBACK CaptureErrorCallback(HWND capture_window, int id, LPCSTR text) {
  return Notify(capture_window, id, text);
}

LRESULT CALLBACK CaptureStatusCallback(HWND capture_window, int id, LPCSTR text) {
  return Notify(capture_window, id, text);
}

LRESULT CALLBACK CaptureFrameCallback(HWND capture_window, LPVIDEOHDR header) {
  CaptureCallbackTarget* target = TargetOf(capture_window);
  return target ? target->OnCaptureFrame(capture_window, header) : FALSE;
}

}  // namespace zu
