#include "decode/decoder.h"

namespace {
const DecoderOps* g_installed = nullptr;
}

const DecoderOps& decoder_ops() { return g_installed ? *g_installed : library_decoder_ops(); }

void set_decoder_ops(const DecoderOps* ops) { g_installed = ops; }
