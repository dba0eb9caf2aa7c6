#!/usr/bin/env python3
"""Which tests catch each planted fault: for each fault id (from ../shared/tools/mutants's own list),
plant it in a scratch copy, rebuild debug, run the whole suite without stopping at the first failure
and record the failing tests. Usage: by_test.py ROOT WORK IDS_FILE OUT_JSON (JOBS=n in the
environment)."""
import importlib.util, importlib.machinery, json, os, subprocess, sys, shutil, time
SHARED = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../shared"))
loader = importlib.machinery.SourceFileLoader("mutants", os.path.join(SHARED, "tools", "mutants"))
module_def = importlib.util.spec_from_loader("mutants", loader)
m = importlib.util.module_from_spec(module_def); loader.exec_module(m)
root, work, ids_file, out = sys.argv[1:5]
jobs = os.environ.get("JOBS", "2")
cands = {c["id"]: c for c in m.candidates(root, m.PRODUCT)}
ids = [l.strip() for l in open(ids_file) if l.strip()]
src = os.path.join(work, "src"); os.makedirs(src, exist_ok=True)
files = subprocess.run(["git", "-C", root, "ls-files", "-z"], capture_output=True, text=True).stdout.split("\0")
for rel in filter(None, files):
    s, d = os.path.join(root, rel), os.path.join(src, rel)
    if os.path.isfile(s) and not os.path.islink(s):
        os.makedirs(os.path.dirname(d), exist_ok=True)
        if not os.path.exists(d) or open(s, "rb").read() != open(d, "rb").read():
            shutil.copy(s, d)
if not os.path.exists(os.path.join(work, "shared")):
    os.symlink(SHARED, os.path.join(work, "shared"))
log = os.path.join(work, "log.txt")
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
build = ["cmake", "--build", "--preset", "debug", "--parallel", jobs]
def run(cmd, timeout=900):
    with open(log, "a") as fh:
        try: return subprocess.run(cmd, cwd=src, stdout=fh, stderr=subprocess.STDOUT, timeout=timeout, env=env).returncode
        except subprocess.TimeoutExpired: return 124
assert run(["cmake", "--preset", "debug"]) == 0 and run(build, 3600) == 0
failed_log = os.path.join(src, "build/debug/Testing/Temporary/LastTestsFailed.log")
ctest = ["ctest", "--preset", "debug", "--parallel", jobs, "--timeout", "60"]
results = []
for k, i in enumerate(ids, 1):
    c = cands.get(i)
    if not c:
        print("missing", i, flush=True); continue
    path = os.path.join(src, c["file"])
    orig = open(path).read().split("\n"); mut = list(orig); mut[c["line"] - 1] = c["after"]
    open(path, "w").write("\n".join(mut))
    try:
        if run(build):
            res = dict(id=i, verdict="invalid", failed=[])
        else:
            if os.path.exists(failed_log): os.remove(failed_log)
            rc = run(ctest, 600)
            failed = [l.split(":", 1)[1].strip() for l in open(failed_log)] if os.path.exists(failed_log) else []
            res = dict(id=i, verdict="caught" if rc else "survived", failed=failed)
    finally:
        open(path, "w").write("\n".join(orig))
    results.append(res)
    print(f"[{k}/{len(ids)}] {res['verdict']} {i} {res['failed']}", flush=True)
    json.dump(results, open(out, "w"), indent=1)
run(build)
