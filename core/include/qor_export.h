/* Symbol visibility of the core library and of the helper unit that other deliverables compile in. */
#ifndef QOR_EXPORT_H
#define QOR_EXPORT_H

#ifdef __cplusplus
#define QOR_EXTERN_C extern "C"
#define QOR_BEGIN_DECLS extern "C" {
#define QOR_END_DECLS }
#else
#define QOR_EXTERN_C
#define QOR_BEGIN_DECLS
#define QOR_END_DECLS
#endif

/* Functions and data that libqor_api exports. */
#define QOR_API __attribute__((visibility("default")))

/* The shared helpers: exported by libqor_api, private inside every other deliverable that compiles them in,
 * so that the copies never interpose on each other. */
#ifdef QOR_SHARED_PRIVATE
#define QOR_SHARED_API __attribute__((visibility("hidden")))
#else
#define QOR_SHARED_API __attribute__((visibility("default")))
#endif

#endif
