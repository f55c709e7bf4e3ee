/* Two files of one program, each holding a private copy of the C client
   (LUMARO_BRIDGE_STATIC): this file is built twice, once with SECOND_FILE, and the two
   are linked together (tests/CMakeLists.txt). */
#define LUMARO_BRIDGE_STATIC
#define LUMARO_BRIDGE_IMPLEMENTATION
#include "lumaro_bridge.h"

int second_file_result(void);

#ifdef SECOND_FILE
int second_file_result(void)
#else
int main(void)
#endif
{
    lumaro_bridge_session s;
    lumaro_bridge_init(&s, NULL, NULL);
#ifdef SECOND_FILE
    return (int)lumaro_bridge_close(&s, 0);
#else
    return (int)lumaro_bridge_close(&s, 0) + second_file_result();
#endif
}
