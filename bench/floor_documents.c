/* The documents' floor: what one write and one read of a document cost
 * without HTTP. A write is the store's own sequence: a temporary file
 * beside the document, write, fsync, close, rename over the document, fsync
 * of the folder. A read opens, sizes, reads and closes.
 *
 *   floor_documents DIR COUNT SIZE
 * Prints "write_seconds=S read_seconds=S". */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char **argv) {
  if (argc != 4) return 2;
  const char *dir = argv[1];
  long count = atol(argv[2]);
  size_t size = (size_t)atol(argv[3]);
  char *bytes = malloc(size), *back = malloc(size + 1);
  memset(bytes, 'x', size);
  char path[4096], temp[4200];
  snprintf(path, sizeof path, "%s/floor.json", dir);
  double start = now();
  for (long i = 0; i < count; ++i) {
    snprintf(temp, sizeof temp, "%s.%ld.tmp", path, i);
    int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || write(fd, bytes, size) != (ssize_t)size) return 1;
    fsync(fd);
    close(fd);
    if (rename(temp, path) != 0) return 1;
    int folder = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    fsync(folder);
    close(folder);
  }
  double wrote = now();
  for (long i = 0; i < count; ++i) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) return 1;
    if (read(fd, back, (size_t)info.st_size + 1) != (ssize_t)size) return 1;
    close(fd);
  }
  double read_done = now();
  printf("write_seconds=%.6f read_seconds=%.6f\n", wrote - start, read_done - wrote);
  return 0;
}
