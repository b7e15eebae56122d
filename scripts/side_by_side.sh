# Sourced by the test scripts: runs named jobs JOBS at a time (default: one
# per processor), each job's output into a log that is printed whole when the
# job ends, so the logs of jobs that overlap do not interleave.
#
#   side_by_side_add NAME COMMAND...   queue a job
#   side_by_side_run                   run the queue; fails if any job failed

_sbs_names=()
_sbs_commands=()

side_by_side_add() {
  local name="$1"
  shift
  _sbs_names+=("$name")
  _sbs_commands+=("$(printf '%q ' "$@")")
}

side_by_side_run() {
  local parallel="${JOBS:-$(nproc)}" logs status=0 i running=0
  logs="$(mktemp -d)"
  declare -A pid_job=()
  _sbs_finish() {  # waits for one job, prints its log
    local done_pid code=0
    wait -n -p done_pid || code=$?
    local j="${pid_job[$done_pid]}"
    cat "$logs/$j.log"
    if [ "$code" -ne 0 ]; then
      echo "== ${_sbs_names[$j]} FAILED"
      status=1
    fi
    running=$((running - 1))
  }
  for i in "${!_sbs_names[@]}"; do
    [ "$running" -lt "$parallel" ] || _sbs_finish
    (eval "${_sbs_commands[$i]}") > "$logs/$i.log" 2>&1 &
    pid_job[$!]=$i
    running=$((running + 1))
  done
  while [ "$running" -gt 0 ]; do _sbs_finish; done
  rm -rf "$logs"
  _sbs_names=()
  _sbs_commands=()
  return "$status"
}
