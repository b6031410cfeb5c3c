"""Independent shards of work (self-play chunks, match blocks) on a Dask cluster.

A local cluster of one single-threaded worker per core by default, or the workers of a Dask
scheduler given by its address (`dask-scheduler` on one machine, `dask-worker ADDRESS
--nthreads 1` on each of the others): the same command spreads over many machines. Files the
workers need (the engine, a network, a tool's folder) travel with the work, so a worker needs
only Debian's packages; a worker lost mid-shard has its shard run again elsewhere (`retries`),
and every result comes back to the client, which gathers them in one place.
"""
import hashlib
import io
import os
import shutil
import tarfile
import tempfile
from pathlib import Path


def add_cluster_arguments(parser):
    parser.add_argument("--scheduler", help="a Dask scheduler's address; default a local cluster")
    parser.add_argument("--workers", type=int, default=os.cpu_count(),
                        help="workers of the local cluster (default one per core)")


def client_for(args):
    """A Dask client on the cluster the arguments name."""
    from dask.distributed import Client, LocalCluster

    if args.scheduler:
        return Client(args.scheduler)
    return Client(LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None))


def packed(path):
    """A file, or a folder as a tar archive, as (bytes, digest, name) to send to workers."""
    path = Path(path)
    if path.is_dir():
        buffer = io.BytesIO()
        with tarfile.open(fileobj=buffer, mode="w") as tar:
            tar.add(path, arcname=path.name)
        blob = buffer.getvalue()
    else:
        blob = path.read_bytes()
    return blob, hashlib.sha256(blob).hexdigest()[:16], path.name, path.is_dir()


def unpacked(pack):
    """On a worker: the path of a packed file or folder, written once per content."""
    blob, digest, name, is_dir = pack
    home = Path(tempfile.gettempdir()) / "vantorel-shards" / digest
    target = home / name
    if not target.exists():
        home.mkdir(parents=True, exist_ok=True)
        partial = home / f".{name}.{os.getpid()}"
        if is_dir:
            with tarfile.open(fileobj=io.BytesIO(blob)) as tar:
                tar.extractall(partial)
            try:
                os.replace(partial / name, target)
            except OSError:  # another worker of this machine was first
                if not target.is_dir():
                    raise
                shutil.rmtree(partial / name)
            partial.rmdir()
        else:
            partial.write_bytes(blob)
            partial.chmod(0o755)
            os.replace(partial, target)
    return str(target)


def nice(level):
    """A preexec_fn that lowers a worker's child process to `level`."""
    return lambda: os.nice(level)
