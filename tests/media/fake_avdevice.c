/* A stand-in for libavdevice: the loader binds it by name like the real one.
   The minor version 99 tells the test which copy was loaded. */
unsigned avdevice_version(void) { return (59u << 16) | (99u << 8); }
#ifndef FAKE_WITHOUT_REGISTER
void avdevice_register_all(void) {}
#endif
