/* A frame-hook plug-in for the tests: darkens the luma plane. Built in
   several flavours (see CMakeLists.txt): without Configure, and with a
   Configure that refuses its arguments. */
#include <stdint.h>
#include <stdlib.h>

typedef struct {
  uint8_t* data[4];
  int linesize[4];
} Picture;

static int gConfigureCalls = 0;

#ifndef WITHOUT_CONFIGURE
int Configure(void** ctx, int argc, char* argv[]) {
  (void)argv;
  ++gConfigureCalls;
#ifdef REFUSE_ARGUMENTS
  (void)ctx;
  (void)argc;
  return 1;
#else
  int* count = calloc(1, sizeof(int));
  *count = argc;
  *ctx = count;
  return 0;
#endif
}
#endif

void Process(void* ctx, Picture* picture, int pixFmt, int width, int height, int64_t pts) {
  (void)ctx;
  (void)pixFmt;
  (void)pts;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture->data[0][y * picture->linesize[0] + x] = 16;
}

void Release(void* ctx) { free(ctx); }

int ConfigureCalls(void) { return gConfigureCalls; }
