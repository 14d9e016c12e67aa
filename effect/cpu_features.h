#pragma once
// What the processor and the operating system allow, asked once.

// True when the processor has AVX2 and the operating system saves the AVX
// registers on a task switch.
bool ProcessorHasAvx2();
