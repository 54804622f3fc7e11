/* Frames of a clip through MLT's frei0r filter, pulled one by one from the
 * producer the way an editor built on MLT renders its timeline, and written
 * as raw RGBA. melt's own render (its avformat consumer) is not used: that
 * consumer starts its thread before marking itself running, so on a busy
 * machine the thread can find itself stopped and write nothing.
 *
 * Usage: mlt-frames PROFILE CLIP OUT.rgba [PARAMETER=VALUE]...
 * Prints the number of frames written.
 *
 * The MLT headers are not needed (only the runtime library is installed with
 * melt): these few calls of its stable C interface are declared here, with
 * every MLT object as an opaque pointer (a producer or filter is its own
 * property list and service). */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef void* Mlt;
extern Mlt mlt_factory_init(const char* directory);
extern void mlt_factory_close(void);
extern Mlt mlt_profile_init(const char* name);
extern void mlt_profile_close(Mlt profile);
extern Mlt mlt_factory_producer(Mlt profile, const char* service, const void* resource);
extern Mlt mlt_factory_filter(Mlt profile, const char* service, const void* input);
extern int mlt_producer_attach(Mlt producer, Mlt filter);
extern int mlt_producer_seek(Mlt producer, int32_t position);
extern int32_t mlt_producer_get_length(Mlt producer);
extern void mlt_producer_close(Mlt producer);
extern void mlt_filter_close(Mlt filter);
extern int mlt_properties_set(Mlt properties, const char* name, const char* value);
extern int mlt_service_get_frame(Mlt service, Mlt* frame, int index);
extern int mlt_frame_get_image(Mlt frame, uint8_t** buffer, int* format, int* width, int* height,
                               int writable);
extern void mlt_frame_close(Mlt frame);

enum { ImageRgba = 2 }; /* mlt_image_rgba */

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: mlt-frames PROFILE CLIP OUT.rgba [PARAMETER=VALUE]...\n");
        return 2;
    }
    if (mlt_factory_init(NULL) == NULL) return fprintf(stderr, "MLT does not start\n"), 1;
    Mlt profile = mlt_profile_init(argv[1]);
    Mlt producer = profile ? mlt_factory_producer(profile, "avformat", argv[2]) : NULL;
    Mlt filter = profile ? mlt_factory_filter(profile, "frei0r.velgarde", NULL) : NULL;
    if (producer == NULL || filter == NULL)
        return fprintf(stderr, "no %s\n", producer ? "frei0r.velgarde filter" : "producer for the clip"), 1;
    for (int i = 4; i < argc; ++i) {
        char* value = strchr(argv[i], '=');
        if (value == NULL) return fprintf(stderr, "not PARAMETER=VALUE: %s\n", argv[i]), 2;
        *value++ = '\0';
        mlt_properties_set(filter, argv[i], value);
    }
    mlt_producer_attach(producer, filter);
    FILE* out = fopen(argv[3], "wb");
    if (out == NULL) return perror(argv[3]), 1;
    const int32_t length = mlt_producer_get_length(producer);
    int written = 0;
    for (int32_t position = 0; position < length; ++position) {
        Mlt frame = NULL;
        mlt_producer_seek(producer, position);
        if (mlt_service_get_frame(producer, &frame, 0) != 0 || frame == NULL) break;
        uint8_t* image = NULL;
        int format = ImageRgba, width = 0, height = 0;
        const int failed = mlt_frame_get_image(frame, &image, &format, &width, &height, 0);
        if (failed || image == NULL || format != ImageRgba) {
            mlt_frame_close(frame);
            fprintf(stderr, "frame %d: no RGBA picture\n", (int)position);
            return 1;
        }
        fwrite(image, 4, (size_t)width * (size_t)height, out);
        mlt_frame_close(frame);
        ++written;
    }
    if (fclose(out) != 0) return perror(argv[3]), 1;
    mlt_filter_close(filter);
    mlt_producer_close(producer);
    mlt_profile_close(profile);
    mlt_factory_close();
    printf("%d\n", written);
    return 0;
}
