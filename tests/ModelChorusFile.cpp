// model_chorus IN.wav OUT.wav: the test model of the chorus (ReferenceChorus) on
// a canonical 16-bit WAV file, for the shell harnesses: what the library is to
// write for it.
#include "ReferenceChorus.h"

#include <cstdio>
#include <fstream>
#include <iterator>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: model_chorus IN.wav OUT.wav\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const testing_support::Bytes input{std::istreambuf_iterator<char>(in),
                                       std::istreambuf_iterator<char>()};
    if (!in.is_open() || input.size() < 44) {
        std::fprintf(stderr, "model_chorus: cannot read %s as a WAV\n", argv[1]);
        return 1;
    }
    const testing_support::ModelResult result = testing_support::referenceChorus(input);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(result.output.data()),
              static_cast<std::streamsize>(result.output.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "model_chorus: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
