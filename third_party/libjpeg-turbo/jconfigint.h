/* Written for Velgarde's bundled build (jconfigint.h.in). */
#define BUILD  "velgarde"
#undef inline
#define INLINE  __inline__ __attribute__((always_inline))
#define THREAD_LOCAL  __thread
#define PACKAGE_NAME  "libjpeg-turbo"
#define VERSION  "2.1.5"
#if defined(_WIN64) || defined(__x86_64__)
#define SIZEOF_SIZE_T  8
#else
#define SIZEOF_SIZE_T  4
#endif
#if !defined(_WIN32)
#define HAVE_BUILTIN_CTZL
#endif
#if defined(__has_attribute)
#if __has_attribute(fallthrough)
#define FALLTHROUGH  __attribute__((fallthrough));
#else
#define FALLTHROUGH
#endif
#else
#define FALLTHROUGH
#endif
