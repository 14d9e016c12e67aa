// Placeholder until the Win32 seams land.
