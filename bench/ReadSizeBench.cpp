// Reads the image from the address compiled into the download job the way
// the job does, but in blocks of a given size, and reports how long the
// reading and saving took once the stream was open. bench/run uses it to
// show where larger reads stop paying.
//
//     ReadSizeBench memory FILE        the whole body into memory (8 KiB
//                                      reads), then written in one go
//     ReadSizeBench BLOCK_BYTES FILE   blocks of this size straight into FILE

#include "BenchSupport.h"
#include "jobs/DownloadJob.h"

int main (int argc, char* argv[])
{
    if (argc != 3)
    {
        std::fprintf (stderr, "usage: ReadSizeBench memory|BLOCK_BYTES FILE\n");
        return 2;
    }

    const juce::String mode (argv[1]);
    const auto blockSize = mode.getIntValue();
    const juce::File file { juce::String (argv[2]) };

    if (mode != "memory" && blockSize <= 0)
    {
        std::fprintf (stderr, "ReadSizeBench: \"%s\" is neither \"memory\" nor a block size\n", argv[1]);
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI juceInitialiser;

    const auto options = juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inAddress)
                             .withConnectionTimeoutMs (DownloadJob::stallTimeoutMs);
    const auto stream = juce::URL (DownloadJob::downloadAddress).createInputStream (options);

    if (stream == nullptr)
    {
        std::fprintf (stderr, "ReadSizeBench: no stream\n");
        return 1;
    }

    const auto peakBefore = bench::readMemoryFigureKb ("VmHWM");
    const auto start = juce::Time::getMillisecondCounterHiRes();
    juce::int64 bytes = 0;

    if (mode == "memory")
    {
        juce::MemoryBlock body;
        stream->readIntoMemoryBlock (body);
        bytes = (juce::int64) body.getSize();

        if (! file.replaceWithData (body.getData(), body.getSize()))
            return 1;
    }
    else
    {
        juce::HeapBlock<char> block (blockSize);
        file.deleteFile();
        juce::FileOutputStream out (file);

        for (auto got = stream->read (block.get(), blockSize); got > 0; got = stream->read (block.get(), blockSize))
        {
            if (! out.write (block.get(), (size_t) got))
                return 1;

            bytes += got;
        }

        out.flush();
    }

    const auto elapsedMs = juce::Time::getMillisecondCounterHiRes() - start;

    bench::printFigure ("read_ms", juce::String (elapsedMs, 1));
    bench::printFigure ("bytes", juce::String (bytes));
    bench::printFigure ("hwm_growth_kb", juce::String (bench::readMemoryFigureKb ("VmHWM") - peakBefore));
    return 0;
}
