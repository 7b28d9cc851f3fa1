// How fast small files can be created, written, timed and closed on this
// machine, by one thread, by a pool of threads, and through io_uring: the
// measurement behind the extraction's choice of writers.
//
//   writers_bench DIR FOLDERS FILES_PER_FOLDER MODE
//
// MODE is "threads:N", "spread:N" (each thread in folders of its own)
// or "uring:DEPTH". DIR must not exist; the files are
// 10 to 70 bytes, as in the bench's 100,000-file tree. Prints the seconds the
// writing took, folders excluded.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>
#ifdef LANTERN_HAVE_URING
#include <liburing.h>
#endif

namespace {

struct Job
{
    int dirFd;
    std::string name;
    std::string data;
};

timespec g_times[2] = {{0, UTIME_OMIT}, {1'600'000'000, 0}};

bool WriteOne(const Job& job)
{
    const int fd = ::openat(job.dirFd, job.name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok =
        ::write(fd, job.data.data(), job.data.size()) == static_cast<ssize_t>(job.data.size());
    ::futimens(fd, g_times);
    return ::close(fd) == 0 && ok;
}

// Every thread takes the next file; with `spread` each thread keeps to
// folders of its own instead.
void RunThreads(const std::vector<Job>& jobs, unsigned threads, bool spread, int perFolder)
{
    if (spread) {
        std::vector<std::thread> pool;
        for (unsigned t = 0; t < threads; ++t)
            pool.emplace_back([&, t] {
                for (std::size_t i = 0; i < jobs.size(); ++i)
                    if ((i / static_cast<std::size_t>(perFolder)) % threads == t &&
                        !WriteOne(jobs[i]))
                        std::perror(jobs[i].name.c_str());
            });
        for (std::thread& t : pool)
            t.join();
        return;
    }
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();)
                if (!WriteOne(jobs[i]))
                    std::perror(jobs[i].name.c_str());
        });
    for (std::thread& t : pool)
        t.join();
}

#ifdef LANTERN_HAVE_URING
// Open, write and close each file as three linked requests on a fixed-file
// slot of its own; io_uring has no request that sets times, so they are
// set by path afterwards, as a writer using it would have to.
void RunUring(const std::vector<Job>& jobs, unsigned depth)
{
    io_uring ring{};
    if (io_uring_queue_init(depth * 3, &ring, 0) != 0) {
        std::perror("io_uring_queue_init");
        std::exit(1);
    }
    if (io_uring_register_files_sparse(&ring, depth) != 0) {
        std::perror("io_uring_register_files_sparse");
        std::exit(1);
    }
    std::vector<unsigned> freeSlots;
    for (unsigned s = 0; s < depth; ++s)
        freeSlots.push_back(s);
    std::vector<int> pending(depth, 0); // requests of the slot's file in flight
    std::vector<std::size_t> owner(depth, 0);
    std::size_t next = 0;
    std::size_t done = 0;
    while (done < jobs.size()) {
        while (!freeSlots.empty() && next < jobs.size()) {
            const unsigned slot = freeSlots.back();
            freeSlots.pop_back();
            const Job& job = jobs[next];
            io_uring_sqe* sqe = io_uring_get_sqe(&ring);
            io_uring_prep_openat_direct(sqe, job.dirFd, job.name.c_str(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644, slot);
            sqe->flags |= IOSQE_IO_LINK;
            io_uring_sqe_set_data64(sqe, slot);
            sqe = io_uring_get_sqe(&ring);
            io_uring_prep_write(sqe, static_cast<int>(slot), job.data.data(),
                                static_cast<unsigned>(job.data.size()), 0);
            sqe->flags |= IOSQE_FIXED_FILE | IOSQE_IO_LINK;
            io_uring_sqe_set_data64(sqe, slot);
            sqe = io_uring_get_sqe(&ring);
            io_uring_prep_close_direct(sqe, slot);
            io_uring_sqe_set_data64(sqe, slot);
            pending[slot] = 3;
            owner[slot] = next++;
        }
        io_uring_submit_and_wait(&ring, 1);
        io_uring_cqe* cqe = nullptr;
        unsigned head = 0;
        unsigned seen = 0;
        io_uring_for_each_cqe(&ring, head, cqe)
        {
            ++seen;
            const auto slot = static_cast<unsigned>(io_uring_cqe_get_data64(cqe));
            if (cqe->res < 0)
                std::fprintf(stderr, "%s: %s\n", jobs[owner[slot]].name.c_str(),
                             std::strerror(-cqe->res));
            if (--pending[slot] == 0) {
                const Job& job = jobs[owner[slot]];
                ::utimensat(job.dirFd, job.name.c_str(), g_times, AT_SYMLINK_NOFOLLOW);
                freeSlots.push_back(slot);
                ++done;
            }
        }
        io_uring_cq_advance(&ring, seen);
    }
    io_uring_queue_exit(&ring);
}
#endif

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s DIR FOLDERS FILES_PER_FOLDER threads:N|uring:DEPTH\n",
                     argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    const int folders = std::atoi(argv[2]);
    const int perFolder = std::atoi(argv[3]);
    const std::string mode = argv[4];
    if (::mkdir(root.c_str(), 0755) != 0) {
        std::perror(root.c_str());
        return 1;
    }
    std::vector<Job> jobs;
    std::vector<int> dirs;
    for (int f = 0; f < folders; ++f) {
        const std::string folder = root + "/d" + std::to_string(f);
        ::mkdir(folder.c_str(), 0755);
        dirs.push_back(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        for (int i = 0; i < perFolder; ++i) {
            std::string data;
            for (int k = 0; k <= i % 7; ++k)
                data += std::to_string(f) + " " + std::to_string(i) + "\n";
            jobs.push_back({dirs.back(), "f" + std::to_string(i) + ".txt", data});
        }
    }
    const auto start = std::chrono::steady_clock::now();
    const auto colon = mode.find(':');
    const unsigned n = colon == std::string::npos ? 1 : std::atoi(mode.c_str() + colon + 1);
    if (mode.rfind("threads", 0) == 0 || mode.rfind("spread", 0) == 0) {
        RunThreads(jobs, n, mode[0] == 's', perFolder);
    } else {
#ifdef LANTERN_HAVE_URING
        RunUring(jobs, n);
#else
        std::fprintf(stderr, "built without liburing\n");
        return 2;
#endif
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %zu files %.3f s %.2f us/file\n", mode.c_str(), jobs.size(), seconds,
                seconds * 1e6 / static_cast<double>(jobs.size()));
    for (int fd : dirs)
        ::close(fd);
    return 0;
}
