/* A small Windows library for the PE reader's tests and fuzz seeds, built for both bitnesses by
 * the host's mingw-w64 compilers without any runtime: two functions with the calling convention of
 * Simple MAPI (decorated on 32-bit, exported undecorated through SampleLibrary.def), one data
 * export, one forwarder to kernel32 and one export by ordinal only. */

#ifdef _WIN32
#define SAMPLE_CALL __stdcall
#else
#define SAMPLE_CALL
#endif

int SampleData = 42;

unsigned long SAMPLE_CALL SampleFirst(unsigned long a, void* b) {
  return a + (b != 0);
}

unsigned long SAMPLE_CALL SampleSecond(unsigned long a) {
  return a * 2;
}

unsigned long SAMPLE_CALL SampleHidden(void) {
  return 7;
}

int SAMPLE_CALL DllMainCRTStartup(void* instance, unsigned long reason, void* reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return 1;
}
