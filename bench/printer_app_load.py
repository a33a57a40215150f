#!/usr/bin/env python3
"""The client side of bench/printer_app_load.sh: concurrent clients print a
mix of documents to the printer application's two printers, cancel some of
the jobs while they print and send broken documents in others, then check
that every job ended, that every completed job's stream decodes to its pages,
that the server's memory stayed level and that it still answers. It talks
IPP itself, over one HTTP connection a request, and only to the loopback
port of the server that the shell script started.

Exit status: 0 passed, 1 failed. Progress and the figures go to stderr and
stdout; the shell script shuts the server down afterwards."""
import argparse
import http.client
import os
import random
import re
import socket
import statistics
import struct
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

# IPP value tags, operations and status codes that the clients use.
TAG_OPERATION, TAG_JOB, TAG_END = 0x01, 0x02, 0x03
TAG_INTEGER, TAG_ENUM, TAG_RESOLUTION = 0x21, 0x23, 0x32
TAG_NAME, TAG_KEYWORD, TAG_URI, TAG_CHARSET, TAG_LANGUAGE, TAG_MIME = 0x42, 0x44, 0x45, 0x47, 0x48, 0x49
PRINT_JOB, GET_JOBS, GET_PRINTER_ATTRIBUTES, GET_JOB_ATTRIBUTES = 0x0002, 0x000A, 0x000B, 0x0009
STATUS_BUSY = 0x0507
ENDED = {7: "canceled", 8: "aborted", 9: "completed"}
FORMATS = ["pwg", "urf", "png", "jpeg"]
BROKEN = ["truncated-pwg", "junk-pwg", "bad-header-pwg", "truncated-png"]
BARS = "top+bottom,top"  # the pages of bars.pwg and bars.urf
STATE_NAMES = {3: "pending", 4: "held", 5: "processing", 6: "stopped", **ENDED}


class NoAnswer(Exception):
    """The server did not answer a request in time, or dropped it."""


def encode_attribute(tag, name, values):
    out = b""
    for i, value in enumerate(values if isinstance(values, list) else [values]):
        if tag in (TAG_INTEGER, TAG_ENUM):
            data = struct.pack(">i", value)
        elif tag == TAG_RESOLUTION:  # the same across and down, in dots per inch
            data = struct.pack(">iiB", value, value, 3)
        else:
            data = value.encode()
        label = name.encode() if i == 0 else b""  # further values of the same attribute have no name
        out += struct.pack(">BH", tag, len(label)) + label + struct.pack(">H", len(data)) + data
    return out


def decode_response(body):
    """The status code and the attribute groups, each a dict of name to values."""
    if len(body) < 8:
        raise NoAnswer("a short IPP response")
    status = struct.unpack(">H", body[2:4])[0]
    groups, current, name, pos = [], None, None, 8
    while pos < len(body):
        tag = body[pos]
        pos += 1
        if tag == TAG_END:
            break
        if tag < 0x10:
            current = {}
            groups.append((tag, current))
            continue
        length = struct.unpack(">H", body[pos:pos + 2])[0]
        label = body[pos + 2:pos + 2 + length].decode()
        pos += 2 + length
        length = struct.unpack(">H", body[pos:pos + 2])[0]
        raw = body[pos + 2:pos + 2 + length]
        pos += 2 + length
        value = struct.unpack(">i", raw)[0] if tag in (TAG_INTEGER, TAG_ENUM) and length == 4 else raw.decode(errors="replace")
        if label:
            name = label
            current[name] = [value]
        elif name is not None:
            current[name].append(value)
    return status, groups


class Ipp:
    """Requests to one server's printers at ipp://127.0.0.1:PORT/ipp/print/NAME."""

    def __init__(self, port, timeout):
        self.port, self.timeout = port, timeout

    def request(self, printer, operation, attributes, job_attributes=(), document=b"", timeout=None):
        uri = f"ipp://127.0.0.1:{self.port}/ipp/print/{printer}"
        body = struct.pack(">BBHI", 2, 0, operation, random.randrange(1, 1 << 31))
        body += bytes([TAG_OPERATION]) + encode_attribute(TAG_CHARSET, "attributes-charset", "utf-8")
        body += encode_attribute(TAG_LANGUAGE, "attributes-natural-language", "en")
        body += encode_attribute(TAG_URI, "printer-uri", uri)
        body += encode_attribute(TAG_NAME, "requesting-user-name", "load")
        for attribute in attributes:
            body += encode_attribute(*attribute)
        if job_attributes:
            body += bytes([TAG_JOB]) + b"".join(encode_attribute(*attribute) for attribute in job_attributes)
        body += bytes([TAG_END]) + document
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout or self.timeout)
        try:
            connection.request("POST", f"/ipp/print/{printer}", body, {"Content-Type": "application/ipp"})
            response = connection.getresponse()
            answer = response.read()
        except socket.timeout:
            raise NoAnswer(f"no answer within {timeout or self.timeout:.0f} s") from None
        except (OSError, http.client.HTTPException) as error:
            raise NoAnswer(f"{type(error).__name__}: {error}") from None
        finally:
            connection.close()
        if response.status != 200:
            raise NoAnswer(f"HTTP status {response.status}")
        return decode_response(answer)

    def job_state(self, printer, job_id, timeout=None):
        """The job's state and reasons, or (None, []) when the printer does not know it."""
        status, groups = self.request(printer, GET_JOB_ATTRIBUTES,
                                      [(TAG_INTEGER, "job-id", job_id),
                                       (TAG_KEYWORD, "requested-attributes", ["job-state", "job-state-reasons"])],
                                      timeout=timeout)
        job = next((attributes for tag, attributes in groups if tag == TAG_JOB), {})
        return (job.get("job-state", [None])[0], job.get("job-state-reasons", [])) if status < 0x100 else (None, [])

    def jobs(self, printer, which, timeout=None):
        """The printer's jobs, `which` being all or not-completed: dicts of id, name and state."""
        status, groups = self.request(printer, GET_JOBS,
                                      [(TAG_KEYWORD, "which-jobs", which),
                                       (TAG_KEYWORD, "requested-attributes", ["job-id", "job-name", "job-state"])],
                                      timeout=timeout)
        if status >= 0x100:
            raise NoAnswer(f"Get-Jobs answered status 0x{status:04x}")
        return [{"id": job.get("job-id", [0])[0], "name": job.get("job-name", [""])[0],
                 "state": job.get("job-state", [0])[0]} for tag, job in groups if tag == TAG_JOB]


class Job:
    def __init__(self, index, printer, document, client):
        self.index, self.printer, self.document, self.client = index, printer, document, client
        key = document["key"]
        self.purpose = "cancel" if key == "long" else "malformed" if key in BROKEN else "print"
        self.name = f"load-{index:04d}-{document['key']}"
        self.job_id = None
        self.state = None          # the final job-state, a number, once the job ended
        self.reasons = []
        self.submitted = None      # when the accepted Print-Job started
        self.busy_answers = 0
        self.refused = False       # busy until the bound: never became a job
        self.stuck = False
        self.problem = None        # why the job fails the run
        self.cancel = None         # what became of the Cancel-Job: sent, late or failed

    def describe(self):
        state = STATE_NAMES.get(self.state, "unknown") if self.state else "not ended"
        return f"{self.name} (job {self.job_id or '?'} on printer {self.printer}, {state})"


class Load:
    def __init__(self, options, documents):
        self.options, self.documents = options, documents
        self.ipp = Ipp(options.port, options.bound)
        self.stop = threading.Event()
        self.lock = threading.Lock()
        self.ended_count = 0
        self.after_20 = None  # the server's memory once 20 jobs have ended
        self.failures = []
        self.started = time.time()

    def fail(self, message):
        with self.lock:
            self.failures.append(message)
        progress(message)
        self.stop.set()

    def plan(self):
        """The jobs in order, each with its printer and document, split among the clients in turn. A tenth
        are canceled and a tenth broken, at random places. The first jobs carry one document of each kind, so
        that the server has met them all before its memory is taken after 20 jobs."""
        chooser = random.Random(self.options.seed)
        count, tenth = self.options.jobs, self.options.jobs // 10
        keys = ["long"] * tenth + [BROKEN[i % len(BROKEN)] for i in range(tenth)]
        keys += [FORMATS[i % len(FORMATS)] for i in range(count - len(keys))]
        first = FORMATS + BROKEN + ["long"]
        for key in first:
            keys.remove(key)
        chooser.shuffle(first)
        chooser.shuffle(keys)
        return [Job(index, chooser.choice("ab"), self.documents[key], index % self.options.clients)
                for index, key in enumerate(first + keys)]

    def submit(self, job):
        """Print-Job until the printer takes it. A raster job sent while the printer prints another is
        answered server-error-busy; the client tries again after a pause, up to the job's bound."""
        document = job.document
        deadline = time.time() + self.options.bound
        while not self.stop.is_set():
            job.submitted = time.time()
            status, groups = self.ipp.request(
                job.printer, PRINT_JOB,
                [(TAG_NAME, "job-name", job.name), (TAG_MIME, "document-format", document["format"])],
                [(TAG_KEYWORD, "print-color-mode", document["colour-mode"]),
                 (TAG_RESOLUTION, "printer-resolution", document["resolution"]),
                 (TAG_ENUM, "print-quality", quality_at(document["resolution"])["print-quality"])],
                document["bytes"])
            if status == STATUS_BUSY:
                job.busy_answers += 1
                if time.time() + 1 > deadline:
                    job.refused = True
                    return
                time.sleep(random.uniform(0.1, 0.5))
                continue
            job.job_id = next((attributes["job-id"][0] for tag, attributes in groups
                               if tag == TAG_JOB and "job-id" in attributes), None)
            if status >= 0x100 and job.purpose == "print":
                job.problem = f"the server refused {job.name}: status 0x{status:04x}"
            if job.job_id is None:  # a raster job that failed while it printed: find it by name
                job.job_id = next((each["id"] for each in self.ipp.jobs(job.printer, "all") if each["name"] == job.name), None)
            return

    def wait_for_end(self, job):
        while time.time() < job.submitted + self.options.bound:
            state, reasons = self.ipp.job_state(job.printer, job.job_id)
            if state in ENDED:
                job.state, job.reasons = state, reasons
                return
            if state is None:
                job.problem = f"the printer lost {job.describe()}"
                return
            time.sleep(0.1)
        job.stuck = True
        job.state = state
        self.fail(f"{job.describe()} did not end within {self.options.bound} s")

    def cancel_while_printing(self, job):
        """Cancels the job with the app's `cancel` sub-command once it is processing. The job is found
        by its name, for a raster job's id comes back only once the job has printed."""
        deadline = time.time() + self.options.bound
        while not self.stop.is_set() and time.time() < deadline and job.state is None:
            try:
                found = next((each for each in self.ipp.jobs(job.printer, "not-completed", timeout=10)
                              if each["name"] == job.name and each["state"] == 5), None)
            except NoAnswer:
                found = None
            if found:
                try:
                    done = subprocess.run([self.options.app, "cancel", "-d", job.printer, "-j", str(found["id"])],
                                          capture_output=True, text=True, timeout=self.options.bound)
                    job.cancel = "sent" if done.returncode == 0 else f"refused: {done.stderr.strip()}"
                except subprocess.TimeoutExpired:
                    job.cancel = "unanswered"
                return
            time.sleep(0.05)
        job.cancel = "too late"

    def run_job(self, job):
        canceller = None
        if job.purpose == "cancel":
            canceller = threading.Thread(target=self.cancel_while_printing, args=(job,), daemon=True)
            canceller.start()
        try:
            self.submit(job)
            if job.job_id is not None and not self.stop.is_set():
                self.wait_for_end(job)
            elif not job.refused and not self.stop.is_set():
                job.problem = f"{job.name} has no job id"
        except NoAnswer as error:
            job.stuck = True
            self.fail(f"the server did not answer about {job.describe()}: {error}")
        if canceller:
            canceller.join(timeout=self.options.bound)
        if job.problem:
            self.fail(job.problem)
        self.count_ended(job)

    def count_ended(self, job):
        with self.lock:
            self.ended_count += 1
            count = self.ended_count
            if count == 20:
                self.after_20 = memory(self.options.server_pid)
        if count % 10 == 0 or count == self.options.jobs:
            progress(f"{count}/{self.options.jobs} jobs ended after {time.time() - self.started:.0f} s, "
                     f"server memory {memory(self.options.server_pid)['VmRSS'] / 1024:.1f} MB")

    def run_client(self, jobs):
        for job in jobs:
            if self.stop.is_set() or time.time() - self.started > self.options.time_limit:
                return
            self.run_job(job)


def documents_in(folder, resolution, long_pages):
    """The documents that the shell script rendered into `folder`, and broken copies of them. A document
    with bars is checked bar by bar (see vexao_cups_page_check); the long one, grey pages, by its page count."""
    def document(key, file, format, colour_mode="color", bars=None, pages=1, content=None):
        data = content if content is not None else open(os.path.join(folder, file), "rb").read()
        return key, {"key": key, "format": format, "colour-mode": colour_mode, "bars": bars, "pages": pages,
                     "colour-model": "Gray" if colour_mode == "monochrome" else "CMYK",
                     "resolution": resolution, "bytes": data}
    raster, png = open(os.path.join(folder, "bars.pwg"), "rb").read(), open(os.path.join(folder, "bars.png"), "rb").read()
    too_tall = bytearray(raster)
    struct.pack_into(">I", too_tall, 4 + 376, 200000)  # cupsHeight of the first page
    # JPEG's ringing would put faint colour beside the bars: printed in grey.
    return dict([
        document("pwg", "bars.pwg", "image/pwg-raster", bars=BARS, pages=2),
        document("urf", "bars.urf", "image/urf", bars=BARS, pages=2),
        document("png", "bars.png", "image/png", bars="top+bottom"),
        document("jpeg", "bars.jpg", "image/jpeg", "monochrome", bars="top+bottom"),
        document("long", "long.pwg", "image/pwg-raster", pages=long_pages),
        document("truncated-pwg", None, "image/pwg-raster", content=raster[:len(raster) // 2]),
        document("junk-pwg", None, "image/pwg-raster", content=raster[:4] + b"\xa5" * 4096),
        document("bad-header-pwg", None, "image/pwg-raster", content=bytes(too_tall)),
        document("truncated-png", None, "image/png", content=png[:len(png) // 4]),  # inside the image data
    ])


def memory(pid):
    """VmRSS and VmHWM of the process, in kB; zero once it has gone."""
    try:
        with open(f"/proc/{pid}/status") as status:
            fields = dict(line.split(":", 1) for line in status if line.startswith("Vm"))
    except OSError:
        return {"VmRSS": 0, "VmHWM": 0}
    return {name: int(fields.get(name, "0").split()[0]) for name in ("VmRSS", "VmHWM")}


def under_sanitizer(pid):
    with open(f"/proc/{pid}/maps") as maps:
        text = maps.read()
    return "libasan" in text or "libtsan" in text


def progress(message):
    print(f"printer app load: {message}", file=sys.stderr, flush=True)


def quality_at(resolution):
    """The banded model's quality that prints at `resolution`, so that no page is scaled: its
    print-quality, and the inspector's mode options for its streams."""
    if resolution == 300:
        return {"print-quality": 3, "mode": ["--model", "e", "--raster-mode", "20", "--resolution", "300"]}
    return {"print-quality": 4, "mode": ["--model", "e", "--raster-mode", "15", "--resolution", "600"]}


def output_file(options, job):
    return os.path.join(options.spool, job.printer, job.name + ".prn")


def pages_in(options, path):
    """How many whole pages the stream decodes into, or None when it does not decode."""
    done = subprocess.run([options.inspect] + quality_at(options.resolution)["mode"] + ["--list", path],
                          capture_output=True, text=True)
    summary = re.search(r"^(\d+) pages?, ", done.stdout, re.MULTILINE) if done.returncode == 0 else None
    return int(summary.group(1)) if summary else None


def check_output(options, job):
    """What is wrong with the job's printed stream, or None."""
    path, document = output_file(options, job), job.document
    if not os.path.exists(path):
        return f"{job.describe()} left no output file"
    if job.state == 9 and document["bars"]:
        done = subprocess.run([options.page_check] + quality_at(document["resolution"])["mode"] +
                              ["--colour-model", document["colour-model"],
                               "--pages", document["bars"], path], capture_output=True, text=True)
        return None if done.returncode == 0 else f"{job.describe()} did not print as {document['bars']}: " + \
            (done.stdout + done.stderr).strip()
    # A canceled job, or a long one that ended before its cancel came: whole pages, all of them if it completed.
    pages = pages_in(options, path)
    if pages is None:
        return f"{job.describe()}: its stream does not decode into whole pages"
    if pages > document["pages"] or (job.state == 9 and pages != document["pages"]):
        return f"{job.describe()} printed {pages} pages of {document['pages']}"
    return None


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--server-pid", type=int, required=True)
    parser.add_argument("--spool", required=True)
    parser.add_argument("--documents", required=True, help="the folder of the rendered documents")
    parser.add_argument("--resolution", type=int, default=600)
    parser.add_argument("--long-pages", type=int, default=8)
    parser.add_argument("--app", required=True)
    parser.add_argument("--inspect", required=True)
    parser.add_argument("--page-check", required=True)
    parser.add_argument("--jobs", type=int, default=120)
    parser.add_argument("--clients", type=int, default=4)
    parser.add_argument("--bound", type=float, default=60)
    parser.add_argument("--time-limit", type=float, default=900)
    parser.add_argument("--seed", type=int, default=1)
    options = parser.parse_args()
    load = Load(options, documents_in(options.documents, options.resolution, options.long_pages))
    jobs = load.plan()
    progress(f"{len(jobs)} jobs from {options.clients} clients, seed {options.seed}, "
             f"each to end within {options.bound:.0f} s")
    with ThreadPoolExecutor(options.clients) as clients:
        for client in [clients.submit(load.run_client, [job for job in jobs if job.client == client])
                       for client in range(options.clients)]:
            client.result()
    elapsed = time.time() - load.started
    failures = load.failures + unfinished(load, jobs)
    if not failures:
        failures = wrong_ends(jobs) + wrong_output(options, jobs) + memory_growth(load)
        report(load, jobs, elapsed)
    for failure in failures:
        print(f"printer app load: FAILED: {failure}", file=sys.stderr)
    return 1 if failures else 0


def unfinished(load, jobs):
    """Jobs that did not run or did not end, and whether the server still answers."""
    failures = []
    run = [job for job in jobs if job.submitted is not None]
    if len(run) < len(jobs) and not load.failures:
        failures.append(f"only {len(run)} of {len(jobs)} jobs ran within the time limit of {load.options.time_limit:.0f} s")
    for printer in "ab":
        try:
            load.ipp.request(printer, GET_PRINTER_ATTRIBUTES, [(TAG_KEYWORD, "requested-attributes", ["printer-state"])],
                             timeout=10)
            left = load.ipp.jobs(printer, "not-completed", timeout=10)
        except NoAnswer as error:
            failures.append(f"the server no longer answers: {error}")
            break
        failures += [f"job {job['id']} ({job['name']}) on printer {printer} is still "
                     f"{STATE_NAMES.get(job['state'], job['state'])}" for job in left]
    stuck = [job for job in jobs if job.stuck]
    if stuck:
        failures.append(f"{len(stuck)} jobs stuck: " + ", ".join(job.describe() for job in stuck))
    return failures


def wrong_ends(jobs):
    """Jobs that ended otherwise than their documents call for."""
    failures = []
    for job in jobs:
        if job.purpose == "print" and job.state not in (None, 9):
            failures.append(f"{job.describe()} ended {STATE_NAMES[job.state]}: {', '.join(job.reasons)}")
        if job.purpose == "malformed" and job.state not in (None, 8):
            failures.append(f"{job.describe()}: a broken document did not abort its job")
        if job.purpose == "cancel" and job.state == 8:
            failures.append(f"{job.describe()}: a job canceled while it printed aborted: {', '.join(job.reasons)}")
    return failures


def wrong_output(options, jobs):
    checked = [job for job in jobs if job.purpose != "malformed" and
               (job.state == 9 or (job.state == 7 and os.path.exists(output_file(options, job))))]
    progress(f"decoding the {len(checked)} streams of the completed and canceled jobs")
    with ThreadPoolExecutor(2) as checkers:
        return [problem for problem in checkers.map(lambda job: check_output(options, job), checked) if problem]


def memory_growth(load):
    """The server's resident memory at the end against the most it held during the first 20 jobs: right
    after job 20 it varies by a fifth with what is printing at that moment. Under a sanitizer the memory held
    for finding faults grows with every allocation, so it is not judged."""
    now = memory(load.options.server_pid)["VmRSS"]
    if under_sanitizer(load.options.server_pid) or not load.after_20 or now <= 1.2 * load.after_20["VmHWM"]:
        return []
    return [f"the server's memory grew from a peak of {load.after_20['VmHWM']} kB in the first 20 jobs to {now} kB"]


def report(load, jobs, elapsed):
    count = lambda condition: len([job for job in jobs if condition(job)])
    ended = count(lambda job: job.state in ENDED or job.refused)
    completed = [job for job in jobs if job.state == 9]
    last_byte = [os.path.getmtime(output_file(load.options, job)) - job.submitted for job in completed
                 if os.path.exists(output_file(load.options, job))]
    now = memory(load.options.server_pid)
    print(f"printer app load: {ended} jobs ended in {elapsed:.1f} s, {60 * ended / elapsed:.0f} jobs a minute: "
          f"{len(completed)} completed, {count(lambda j: j.state == 7)} canceled, {count(lambda j: j.state == 8)} aborted, "
          f"{count(lambda j: j.refused)} refused as busy until their bound")
    print(f"printer app load: {sum(job.busy_answers for job in jobs)} server-error-busy answers to raster jobs, "
          f"each tried again; {count(lambda j: j.cancel == 'sent')} cancels sent while printing, "
          f"{count(lambda j: j.cancel == 'too late')} too late, "
          f"{count(lambda j: j.cancel not in (None, 'sent', 'too late'))} refused or unanswered")
    if last_byte:
        print(f"printer app load: submission to last byte: median {statistics.median(last_byte):.3f} s, "
              f"95th percentile {percentile(last_byte, 0.95):.3f} s, longest {max(last_byte):.3f} s")
    early = load.after_20 or {"VmRSS": 0, "VmHWM": 0}
    print(f"printer app load: server memory: {early['VmRSS']} kB after 20 jobs (peak {early['VmHWM']} kB), "
          f"{now['VmRSS']} kB at the end, "
          f"peak {now['VmHWM']} kB" + (" (under a sanitizer: not judged)" if under_sanitizer(load.options.server_pid) else ""))


if __name__ == "__main__":
    sys.exit(main())
