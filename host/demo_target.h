// The demo window: where it sits and what it is called, for the demo and the tests.
#pragma once

#define DEMO_TITLE "Bridge Demo Chart"
#define DEMO_LEFT 100
#define DEMO_TOP 100
#define DEMO_WIDTH 640
#define DEMO_HEIGHT 360
