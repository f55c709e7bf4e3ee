// The demo window: where it sits and what it is called, for the demo and the tests.
#pragma once

#define DEMO_TITLE "Bridge Demo Chart"
#define DEMO_LEFT 100
#define DEMO_TOP 100
#define DEMO_WIDTH 640
#define DEMO_HEIGHT 360
// With --cover, the demo window is this one instead, in front of the others, over the
// lower right quarter of where the demo window sits: what covering a recorded window
// looks like.
#define DEMO_COVER_OPTION "--cover"
#define DEMO_COVER_TITLE "Bridge Demo Cover"
