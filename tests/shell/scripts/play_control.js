// Drives the play control as a page script does: created by program identifier (the first
// argument), its properties set and read late-bound, one frame handed over as a string whose
// characters carry two bytes each. Prints "OK" and exits with 0, or names what went wrong and
// exits with 1.
var control = new ActiveXObject(WScript.Arguments(0));

function check(what, got, expected) {
  if (got !== expected) {
    WScript.Echo("FAIL " + what + ": got " + got + ", expected " + expected);
    WScript.Quit(1);
  }
}

check("Version", control.Version, 65536);
check("FrameFormat at start", control.FrameFormat, 0);
control.SizeMode = 2;
check("SizeMode", control.SizeMode, 2);
control.SizeMode = 7;
check("SizeMode out of range", control.SizeMode, 0);
control.BackColor = 0x123456;
check("BackColor", control.BackColor, 0x123456);
control.Version = 3;
check("Version after a put", control.Version, 65536);

// A 2 x 2 frame at 24 bits: the 40-byte header, then two rows of 6 bytes padded to 8.
var bytes = [40, 0, 0, 0,  2, 0, 0, 0,  2, 0, 0, 0,  1, 0,  24, 0,  0, 0, 0, 0,  16, 0, 0, 0,
             0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,
             255, 0, 0,  0, 255, 0,  0, 0,
             0, 0, 255,  255, 255, 255,  0, 0];
var text = "";
for (var i = 0; i < bytes.length; i += 2) {
  text += String.fromCharCode(bytes[i] | (bytes[i + 1] << 8));
}
check("RefreshFrameEx of a frame", control.RefreshFrameEx(text, bytes.length), true);
// The same bytes with a count beyond the string: refused.
check("RefreshFrameEx beyond the string", control.RefreshFrameEx(text, bytes.length * 2 + 2), false);
// PNG expected, BMP given: refused.
control.FrameFormat = 1;
check("FrameFormat", control.FrameFormat, 1);
check("RefreshFrameEx of BMP as PNG", control.RefreshFrameEx(text, bytes.length), false);

WScript.Echo("OK");
WScript.Quit(0);
