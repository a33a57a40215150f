/* A host as a user writes one against the installed library: C11, the
 * headers from <vexao105/...> and the flags from pkg-config. It prints one
 * banded page of 40 lines and writes the stream to standard output. */
#include <stdio.h>
#include <string.h>

#include <vexao105/output_api.h>

static int sendChunks(const OutputDesc* descriptor) {
    for (int i = 0; i < descriptor->count; ++i) {
        const Chunk* chunk = &descriptor->chunks[i];
        if (fwrite(chunk->ptr, 1, (size_t)chunk->len, stdout) != (size_t)chunk->len) return -1;
    }
    return 0;
}

int main(void) {
    MasterWork* work = NULL;
    OutputDesc* descriptor = NULL;
    OutputParams params;
    memset(&params, 0, sizeof params);
    params.rasterMode = 20; /* one bit a pixel, four planes */
    if (OutputOpen(&work) != VEXAO_INTERFACE_VERSION || OutputInitTwo(&work, &params, 'e') != 0) {
        OutputClose(&work);
        return 1;
    }
    uint8_t bytes[64];
    for (int y = 0; y < 40; ++y) {
        RasterInput line;
        memset(&line, 0, sizeof line);
        memset(bytes, y % 3 == 0 ? 0x5A : 0, sizeof bytes);
        line.lineNumber = y;
        line.plane[0].data = bytes;
        line.plane[0].pixelWidth = 8 * (int16_t)sizeof bytes;
        if (OutputProduce(&work, &line, &descriptor) != 0 || sendChunks(descriptor) != 0) return 2;
        OutputComplete(&work);
    }
    if (OutputFormFeed(&work, &descriptor) != 0 || sendChunks(descriptor) != 0) return 3;
    OutputComplete(&work);
    OutputClose(&work);
    return 0;
}
