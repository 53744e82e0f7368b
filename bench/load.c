/* A small HTTP load client for the benchmarks: COUNT requests over CONCURRENCY
 * connections at a time, one request per connection, each read to the end.
 *
 *   load PORT CONCURRENCY COUNT METHOD TARGET EXPECT [options]
 *     --range SIZE CHUNK   a random "Range: bytes=a-b" of CHUNK bytes within SIZE
 *     --body FILE          send FILE as the body
 *
 * Prints one line: "requests=N failed=N seconds=S bytes=B". A request fails
 * when the status is not EXPECT, the connection breaks, or (for ranges) the
 * body is not CHUNK bytes long. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static int port, expect;
static long count;
static const char *method, *target;
static long long range_size, range_chunk;
static char *body;
static long body_length;
static atomic_long next_request, failed;
static atomic_llong received;

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int send_all(int fd, const char *data, long length) {
  while (length > 0) {
    ssize_t n = send(fd, data, (size_t)length, MSG_NOSIGNAL);
    if (n <= 0) return 0;
    data += n;
    length -= n;
  }
  return 1;
}

/* One request; returns 1 when it answered as expected. */
static int one_request(unsigned *seed, char *buffer, size_t buffer_size) {
  char head[512];
  char range[96] = "";
  if (range_chunk > 0) {
    long long slots = range_size / range_chunk;
    long long first = ((long long)rand_r(seed) % slots) * range_chunk +
                      (long long)rand_r(seed) % range_chunk / 2;
    if (first + range_chunk > range_size) first = range_size - range_chunk;
    snprintf(range, sizeof range, "Range: bytes=%lld-%lld\r\n", first, first + range_chunk - 1);
  }
  int head_length = snprintf(head, sizeof head,
                             "%s %s HTTP/1.1\r\nHost: 127.0.0.1\r\n%sContent-Length: %ld\r\n"
                             "Connection: close\r\n\r\n",
                             method, target, range, body_length);
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  struct sockaddr_in address = {0};
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int ok = 0;
  if (connect(fd, (struct sockaddr *)&address, sizeof address) == 0 &&
      send_all(fd, head, head_length) && send_all(fd, body, body_length)) {
    long long total = 0, header_end = -1;
    int status = 0;
    char first_bytes[16] = "";
    for (;;) {
      ssize_t n = recv(fd, buffer, buffer_size, 0);
      if (n < 0) {
        total = -1;
        break;
      }
      if (n == 0) break;
      if (total < 12) memcpy(first_bytes + total, buffer, (size_t)(n < 12 - total ? n : 12 - total));
      /* The end of the head, found within the first buffer for these answers. */
      if (header_end < 0) {
        char *end = memmem(buffer, (size_t)n, "\r\n\r\n", 4);
        if (end) header_end = total + (end - buffer) + 4;
      }
      total += n;
    }
    if (total >= 12) status = atoi(first_bytes + 9);
    if (total > 0) atomic_fetch_add(&received, total);
    ok = status == expect && header_end >= 0;
    if (ok && range_chunk > 0) ok = total - header_end == range_chunk;
  }
  close(fd);
  return ok;
}

static void *worker(void *arg) {
  unsigned seed = (unsigned)(uintptr_t)arg * 2654435761u + 17u;
  size_t buffer_size = 1 << 18;
  char *buffer = malloc(buffer_size);
  while (atomic_fetch_add(&next_request, 1) < count) {
    if (!one_request(&seed, buffer, buffer_size)) atomic_fetch_add(&failed, 1);
  }
  free(buffer);
  return NULL;
}

int main(int argc, char **argv) {
  if (argc < 7) {
    fprintf(stderr, "usage: load PORT CONCURRENCY COUNT METHOD TARGET EXPECT [--range SIZE CHUNK] [--body FILE]\n");
    return 2;
  }
  port = atoi(argv[1]);
  int concurrency = atoi(argv[2]);
  count = atol(argv[3]);
  method = argv[4];
  target = argv[5];
  expect = atoi(argv[6]);
  for (int i = 7; i < argc; ++i) {
    if (strcmp(argv[i], "--range") == 0 && i + 2 < argc) {
      range_size = atoll(argv[i + 1]);
      range_chunk = atoll(argv[i + 2]);
      i += 2;
    } else if (strcmp(argv[i], "--body") == 0 && i + 1 < argc) {
      FILE *f = fopen(argv[++i], "rb");
      if (!f) return 2;
      fseek(f, 0, SEEK_END);
      body_length = ftell(f);
      fseek(f, 0, SEEK_SET);
      body = malloc((size_t)body_length + 1);
      if (fread(body, 1, (size_t)body_length, f) != (size_t)body_length) return 2;
      fclose(f);
    } else {
      fprintf(stderr, "unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (range_chunk > 0 && range_size < range_chunk) return 2;
  pthread_t threads[1024];
  if (concurrency < 1 || concurrency > 1024) return 2;
  double start = now();
  for (int i = 0; i < concurrency; ++i) pthread_create(&threads[i], NULL, worker, (void *)(uintptr_t)i);
  for (int i = 0; i < concurrency; ++i) pthread_join(threads[i], NULL);
  double seconds = now() - start;
  printf("requests=%ld failed=%ld seconds=%.6f bytes=%lld\n", count, atomic_load(&failed), seconds,
         atomic_load(&received));
  return 0;
}
