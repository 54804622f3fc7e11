/* A frei0r host that does what real hosts are allowed to get wrong: NaN
 * and out-of-range parameters, zero and huge sizes, null frames, frames
 * before any parameter, instances made and dropped in a loop, and updates
 * on several instances at once, parameters changed between the frames of one
 * instance (as keyframes do), and f0r_init / f0r_deinit called in odd orders
 * while instances live (run under AddressSanitizer and ThreadSanitizer).
 * Usage: frei0r_hostile_host path/to/velgarde.so */
#include <dlfcn.h>
#include <math.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <frei0r.h>

static struct {
    int (*init)(void);
    void (*deinit)(void);
    void (*plugin_info)(f0r_plugin_info_t*);
    void (*param_info)(f0r_param_info_t*, int);
    f0r_instance_t (*construct)(unsigned, unsigned);
    void (*destruct)(f0r_instance_t);
    void (*set)(f0r_instance_t, f0r_param_t, int);
    void (*get)(f0r_instance_t, f0r_param_t, int);
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*);
} F;

static int failures;
#define CHECK(c)                                                          \
    do {                                                                  \
        if (!(c)) {                                                       \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c); \
            ++failures;                                                   \
        }                                                                 \
    } while (0)

static uint32_t* Picture(unsigned w, unsigned h, unsigned seed) {
    uint32_t* p = malloc((size_t)w * h * 4 + 4);
    for (size_t i = 0; i < (size_t)w * h; ++i) {
        seed = seed * 1103515245u + 12345u;
        p[i] = seed ^ (uint32_t)(i * 2654435761u);
    }
    return p;
}

static void Set(f0r_instance_t inst, int index, double value) { F.set(inst, &value, index); }

/* Sharpens a fresh picture with the given settings (NULL: none set). */
static uint32_t* Sharpened(unsigned w, unsigned h, const double* settings) {
    f0r_instance_t inst = F.construct(w, h);
    uint32_t* in = Picture(w, h, 99);
    uint32_t* out = malloc((size_t)w * h * 4 + 4);
    if (settings)
        for (int i = 0; i < 5; ++i) Set(inst, i, settings[i]);
    F.update(inst, 0.0, in, out);
    F.destruct(inst);
    free(in);
    return out;
}

static const double Defaults[5] = {25.0 / 300, 50.0 / 300, 9.0 / 99, 0.5, 0.0};
static const double Strong[5] = {1.0, 1.0, 1.0, 1.0, 0.04};

static void InfoAndParameters(void) {
    f0r_plugin_info_t info;
    memset(&info, 0, sizeof info);
    F.plugin_info(&info);
    CHECK(info.plugin_type == F0R_PLUGIN_TYPE_FILTER && info.color_model == F0R_COLOR_MODEL_RGBA8888);
    CHECK(info.num_params == 6 && info.name && info.explanation);
    for (int i = -1; i <= 6; ++i) {
        f0r_param_info_t p = {0, -1, 0};
        F.param_info(&p, i);
        if (i >= 0 && i < 5) CHECK(p.type == F0R_PARAM_DOUBLE && p.name && p.explanation);
        if (i == 5) CHECK(p.type == F0R_PARAM_BOOL && p.name && p.explanation);
    }
    F.plugin_info(NULL);
    F.param_info(NULL, 0);

    f0r_instance_t inst = F.construct(16, 8);
    CHECK(inst != NULL);
    /* The change view is off until asked for. */
    double view = -7;
    F.get(inst, &view, 5);
    CHECK(view == 0.0);
    const double hostile[] = {NAN, -NAN, INFINITY, -INFINITY, -1e300, 1e300, -0.0, 1.0000001, 5e-324};
    for (int i = 0; i < 6; ++i)
        for (size_t k = 0; k < sizeof hostile / sizeof hostile[0]; ++k) {
            double v = -7;
            Set(inst, i, hostile[k]);
            F.get(inst, &v, i);
            CHECK(v >= 0.0 && v <= 1.0);
        }
    /* Read back as the whole track steps they were set to (hosts show
     * these), and the defaults before anything is set. */
    f0r_instance_t fresh = F.construct(16, 8);
    for (int i = 0; i < 5; ++i) {
        double v = -7;
        F.get(fresh, &v, i);
        CHECK(fabs(v - Defaults[i]) < 1e-12);
        Set(fresh, i, Strong[i]);
        F.get(fresh, &v, i);
        CHECK(fabs(v - Strong[i]) < 1e-12);
    }
    double v = -7;
    Set(fresh, 2, 0.5); /* 49.5 steps above the bar's minimum: 50 */
    F.get(fresh, &v, 2);
    CHECK(fabs(v - 50.0 / 99) < 1e-12);
    F.destruct(fresh);
    F.set(inst, NULL, 0);
    F.get(inst, NULL, 0);
    Set(inst, -1, 0.5);
    Set(inst, 5, 0.5);
    F.set(NULL, (f0r_param_t)&Defaults[0], 0);
    F.destruct(inst);
}

static void SizesAndFrames(void) {
    /* Before any parameter: the defaults, exactly. */
    uint32_t* implicit = Sharpened(33, 7, NULL);
    uint32_t* explicit_ = Sharpened(33, 7, Defaults);
    CHECK(memcmp(implicit, explicit_, 33 * 7 * 4) == 0);
    free(implicit);
    free(explicit_);

    /* Both amounts 0: the input, bit for bit, at odd and tiny sizes. */
    const unsigned sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {3, 5}, {31, 17}};
    for (size_t s = 0; s < 5; ++s) {
        const unsigned w = sizes[s][0], h = sizes[s][1];
        f0r_instance_t inst = F.construct(w, h);
        uint32_t* in = Picture(w, h, 5);
        uint32_t* out = Picture(w, h, 6);
        Set(inst, 0, 0.0);
        Set(inst, 1, 0.0);
        F.update(inst, 0.0, in, out);
        CHECK(memcmp(in, out, (size_t)w * h * 4) == 0);
        /* In place gives what separate frames give, the change view too. */
        Set(inst, 0, 1.0);
        F.update(inst, 0.0, in, out);
        F.update(inst, 0.0, in, in);
        CHECK(memcmp(in, out, (size_t)w * h * 4) == 0);
        Set(inst, 5, 1.0);
        free(in);
        in = Picture(w, h, 5);
        F.update(inst, 0.0, in, out);
        F.update(inst, 0.0, in, in);
        CHECK(memcmp(in, out, (size_t)w * h * 4) == 0);
        free(in);
        free(out);
        F.destruct(inst);
    }

    /* Empty and absurd sizes: an instance or none, never a crash. */
    uint32_t dummy[4] = {1, 2, 3, 4};
    const unsigned odd[][2] = {{0, 0}, {0, 8}, {8, 0}, {0xFFFFFFFFu, 0xFFFFFFFFu}, {0x7FFFFFFFu, 2}, {1u << 20, 1u << 20}};
    for (size_t s = 0; s < 6; ++s) {
        f0r_instance_t inst = F.construct(odd[s][0], odd[s][1]);
        if (inst && (odd[s][0] == 0 || odd[s][1] == 0)) F.update(inst, 0.0, dummy, dummy);
        if (inst) F.update(inst, 0.0, NULL, NULL);
        F.destruct(inst);
    }

    /* Null frames and a null instance. */
    f0r_instance_t inst = F.construct(4, 1);
    F.update(inst, 0.0, NULL, dummy);
    F.update(inst, 0.0, dummy, NULL);
    F.update(NULL, 0.0, dummy, dummy);
    F.destruct(inst);
    F.destruct(NULL);

    /* Instances made and dropped in a loop, each used once. */
    for (int i = 0; i < 2000; ++i) {
        f0r_instance_t one = F.construct(1 + i % 13, 1 + i % 7);
        uint32_t pixels[13 * 7];
        memset(pixels, i, sizeof pixels);
        Set(one, i % 5, (i % 11) / 10.0);
        F.update(one, i, pixels, pixels);
        F.destruct(one);
    }
}

struct Worker {
    const double* settings;
    const uint32_t* expected;
    int mismatches;
};

enum { W = 67, H = 45 };

static void* RunInstance(void* arg) {
    struct Worker* wk = arg;
    f0r_instance_t inst = F.construct(W, H);
    uint32_t* in = Picture(W, H, 99);
    uint32_t* out = malloc(W * H * 4);
    for (int i = 0; i < 5; ++i) Set(inst, i, wk->settings[i]);
    for (int frame = 0; frame < 30; ++frame) {
        F.update(inst, frame, in, out);
        if (memcmp(out, wk->expected, W * H * 4) != 0) ++wk->mismatches;
    }
    F.destruct(inst);
    free(in);
    free(out);
    return NULL;
}

static void ConcurrentInstances(void) {
    uint32_t* strong = Sharpened(W, H, Strong);
    uint32_t* defaults = Sharpened(W, H, Defaults);
    CHECK(memcmp(strong, defaults, W * H * 4) != 0);
    struct Worker workers[4];
    pthread_t threads[4];
    for (int t = 0; t < 4; ++t) {
        workers[t].settings = t % 2 ? Strong : Defaults;
        workers[t].expected = t % 2 ? strong : defaults;
        workers[t].mismatches = 0;
        CHECK(pthread_create(&threads[t], NULL, RunInstance, &workers[t]) == 0);
    }
    for (int t = 0; t < 4; ++t) {
        pthread_join(threads[t], NULL);
        CHECK(workers[t].mismatches == 0);
    }
    free(strong);
    free(defaults);
}

static int SameAs(const uint32_t* frame, const double* settings) {
    uint32_t* expected = Sharpened(W, H, settings);
    const int same = memcmp(frame, expected, W * H * 4) == 0;
    free(expected);
    return same;
}

static void KeyframesAndLifetimes(void) {
    /* Each frame sharpened with the values set just before it. */
    double reach[5];
    memcpy(reach, Strong, sizeof reach);
    reach[2] = 0.3;
    f0r_instance_t inst = F.construct(W, H);
    uint32_t* in = Picture(W, H, 99);
    uint32_t* out = malloc(W * H * 4);
    for (int i = 0; i < 5; ++i) Set(inst, i, Strong[i]);
    F.update(inst, 0.0, in, out);
    CHECK(SameAs(out, Strong));
    for (int i = 0; i < 5; ++i) Set(inst, i, Defaults[i]);
    F.update(inst, 0.04, in, out);
    CHECK(SameAs(out, Defaults));
    for (int i = 0; i < 5; ++i) Set(inst, i, Strong[i]);
    Set(inst, 2, reach[2]);
    F.update(inst, 0.08, in, out);
    CHECK(SameAs(out, reach));
    /* Changed and changed back before the next frame: as before. */
    Set(inst, 0, 0.0);
    Set(inst, 0, Strong[0]);
    F.update(inst, 0.12, in, out);
    CHECK(SameAs(out, reach));

    /* f0r_deinit while an instance lives (a host closing the module early),
     * a second f0r_init, and instances made after that: all keep working. */
    F.deinit();
    F.update(inst, 0.16, in, out);
    CHECK(SameAs(out, reach));
    CHECK(F.init() == 1);
    CHECK(F.init() == 1);
    f0r_instance_t later = F.construct(W, H);
    for (int i = 0; i < 5; ++i) Set(later, i, Defaults[i]);
    F.destruct(inst);
    F.deinit();
    F.update(later, 0.0, in, out);
    CHECK(SameAs(out, Defaults));
    F.destruct(later);
    F.deinit();
    F.deinit();
    CHECK(F.init() == 1);
    CHECK(SameAs(out, Defaults));
    free(in);
    free(out);
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
#define LOAD(field, name) *(void**)&F.field = dlsym(module, name)
    LOAD(init, "f0r_init");
    LOAD(deinit, "f0r_deinit");
    LOAD(plugin_info, "f0r_get_plugin_info");
    LOAD(param_info, "f0r_get_param_info");
    LOAD(construct, "f0r_construct");
    LOAD(destruct, "f0r_destruct");
    LOAD(set, "f0r_set_param_value");
    LOAD(get, "f0r_get_param_value");
    LOAD(update, "f0r_update");
    if (!F.init || !F.deinit || !F.plugin_info || !F.param_info || !F.construct || !F.destruct ||
        !F.set || !F.get || !F.update) {
        fprintf(stderr, "an entry point is missing\n");
        return 1;
    }
    CHECK(F.init() == 1);
    InfoAndParameters();
    SizesAndFrames();
    ConcurrentInstances();
    KeyframesAndLifetimes();
    F.deinit();
    dlclose(module);
    printf("%s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
