// Drives the capture control as a page script does: created by program identifier (the first
// argument), its properties set and read late-bound, and the methods that need no window called.
// Prints "OK" and exits with 0, or names what went wrong and exits with 1.
var control = new ActiveXObject(WScript.Arguments(0));

function check(what, got, expected) {
  if (got !== expected) {
    WScript.Echo("FAIL " + what + ": got " + got + ", expected " + expected);
    WScript.Quit(1);
  }
}

check("Version", control.Version, 65536);
check("CaptureWidth at start", control.CaptureWidth, 80);
check("CaptureHeight at start", control.CaptureHeight, 60);
check("BitCount at start", control.BitCount, 4);
check("DeviceID at start", control.DeviceID, -1);
control.CaptureWidth = 325;
check("CaptureWidth rounded down to a multiple of 8", control.CaptureWidth, 320);
control.BitCount = 2;
check("BitCount", control.BitCount, 2);
check("CustomBitCount follows BitCount", control.CustomBitCount, 8);
control.BitCount = 9;
check("BitCount out of range", control.BitCount, 4);
control.CaptureElapse = 40;
check("CaptureElapse", control.CaptureElapse, 40);
control.CaptureFormat = 1;
check("CaptureFormat", control.CaptureFormat, 1);
control.CaptureExEvent = true;
check("CaptureExEvent", control.CaptureExEvent, true);
control.EnablePopupMenu = 1;
check("EnablePopupMenu", control.EnablePopupMenu, 1);
control.BackColor = 0x123456;
check("BackColor", control.BackColor, 0x123456);
control.Version = 3;
check("Version after a put", control.Version, 65536);

// Without a window there is no capture link: Start and Stop do nothing, and say nothing.
control.Start();
control.Stop();

WScript.Echo("OK");
WScript.Quit(0);
