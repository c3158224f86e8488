// The Windows executable. WinMain itself lives in the system library
// (app/main.cpp); the link names it as undefined so that the library member is
// pulled in before the C runtime, which calls it, is searched.
