#!/usr/bin/env bash
# What servers run: the systemd units through systemd-analyze, and the Kubernetes
# manifests parsed, held to the fields the API requires, and their command run as the
# cluster would run it (no cluster runs here).
set -euo pipefail
bin=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The units as installed, but naming the built program: systemd looks only on its own path.
mkdir -p "$work/units" "$work/runtime"
chmod 700 "$work/runtime"
for unit in sentrel-watch.service sentrel-watch@.service; do
  sed "s|^ExecStart=sentrel-watch|ExecStart=$bin/sentrel-watch|" "$src/res/systemd/$unit" > "$work/units/$unit"
done
ln -s sentrel-watch@.service "$work/units/sentrel-watch@0-3.service"
for unit in sentrel-watch.service sentrel-watch@0-3.service; do
  out=$(XDG_RUNTIME_DIR="$work/runtime" systemd-analyze verify --user "$work/units/$unit" 2>&1) ||
    { echo "systemd-analyze verify $unit: $out"; exit 1; }
  [ -z "$out" ] || { echo "systemd-analyze verify $unit warns: $out"; exit 1; }
done
# The instance name is the shard as sentrel-watch reads it.
mkdir -p "$work/home"
said=$(SENTREL_HOME="$work/home" "$bin/sentrel-watch" --once --shard 2-3 2>&1) ||
  { echo "sentrel-watch --shard 2-3: $said"; exit 1; }

/usr/bin/python3 - "$src/deploy/kubernetes" "$bin/sentrel-watch" "$work/home" <<'PY'
import os, re, subprocess, sys, yaml
folder, program, home = sys.argv[1:4]
docs = {}
for name in sorted(os.listdir(folder)):
    if name.endswith(".yaml"):
        with open(os.path.join(folder, name)) as f:
            for doc in yaml.safe_load_all(f):
                docs[doc["kind"]] = doc
def need(cond, what):
    if not cond:
        sys.exit("manifests: " + what)
for kind, doc in docs.items():
    need(doc.get("apiVersion") and (kind == "Kustomization" or doc["metadata"].get("name")),
         kind + " lacks apiVersion or metadata.name")
kust = docs["Kustomization"]
need(sorted(kust["resources"]) == sorted(n for n in os.listdir(folder)
                                         if n.endswith(".yaml") and n != "kustomization.yaml"),
     "kustomization.yaml lists other files than the folder holds")
sts = docs["StatefulSet"]["spec"]
labels = sts["template"]["metadata"]["labels"]
need(all(labels.get(k) == v for k, v in sts["selector"]["matchLabels"].items()),
     "the selector does not match the pod template's labels")
need(sts["serviceName"] == docs["Service"]["metadata"]["name"], "serviceName names no Service")
need(docs["Service"]["spec"]["clusterIP"] == "None", "the service is not headless")
need(docs["Service"]["spec"]["selector"] == sts["selector"]["matchLabels"], "the service selects other pods")
pod = sts["template"]["spec"]
(container,) = pod["containers"]
need(container.get("name") and container.get("image"), "the container lacks a name or an image")
env = {e["name"]: e for e in container["env"]}
need(env["POD_INDEX"]["valueFrom"]["fieldRef"]["fieldPath"] ==
     "metadata.labels['apps.kubernetes.io/pod-index']", "POD_INDEX is not the pod's ordinal")
need(env["SENTREL_SHARDS"]["value"] == str(sts["replicas"]), "SENTREL_SHARDS differs from replicas")
claims = {v["name"]: v["persistentVolumeClaim"]["claimName"] for v in pod["volumes"]}
pvc = docs["PersistentVolumeClaim"]
need(claims[container["volumeMounts"][0]["name"]] == pvc["metadata"]["name"], "the profile volume names no claim")
need(pvc["spec"]["accessModes"] == ["ReadWriteMany"] and pvc["spec"]["resources"]["requests"]["storage"],
     "the profile claim is not ReadWriteMany with a size")
need(container["volumeMounts"][0]["mountPath"] == env["SENTREL_HOME"]["value"], "SENTREL_HOME is not the volume")
# Each pod's command, its $(VAR) expanded as the kubelet does, is one the program takes.
for ordinal in range(sts["replicas"]):
    values = {"POD_INDEX": str(ordinal), "SENTREL_SHARDS": env["SENTREL_SHARDS"]["value"]}
    args = [re.sub(r"\$\((\w+)\)", lambda m: values[m.group(1)], a) for a in container["args"]]
    run = subprocess.run([program, "--once"] + args, env=dict(os.environ, SENTREL_HOME=home),
                         capture_output=True, text=True)
    need(run.returncode == 0, "pod %d: %s exits %d: %s" % (ordinal, args, run.returncode, run.stderr))
PY
echo "deploy: units verified, manifests parsed and complete, each pod's command runs"
