#!/usr/bin/python3
"""A TCP relay on loopback that adds latency: every piece of data is passed on DELAY_MS/2
after it arrived, in each direction, and a new connection is accepted only after DELAY_MS
(the handshake's round trip). So one request and its answer cost DELAY_MS more, while the
bandwidth stays that of loopback (pieces in flight overlap).

Usage: delay_proxy.py LISTEN_PORT_FILE TARGET_PORT DELAY_MS
Writes the port it listens on into LISTEN_PORT_FILE and serves until killed."""
import asyncio
import sys
import time


async def pipe(reader, writer, delay):
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        try:
            writer.write_eof()
        except (OSError, RuntimeError):
            pass

    sender = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(256 * 1024)
            if not data:
                break
            queue.put_nowait((time.monotonic() + delay, data))
            # Keep memory bounded when the far side reads slowly.
            while queue.qsize() > 64:
                await asyncio.sleep(0.001)
    except (ConnectionError, OSError):
        pass
    queue.put_nowait((0, None))
    try:
        await sender
    except (ConnectionError, OSError):
        pass


async def main():
    port_file, target_port, delay_ms = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
    half = delay_ms / 2000.0

    async def handle(client_reader, client_writer):
        await asyncio.sleep(2 * half)
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, server_writer, half),
                             pipe(server_reader, client_writer, half))
        for w in (client_writer, server_writer):
            w.close()

    server = await asyncio.start_server(handle, "127.0.0.1", 0)
    with open(port_file, "w") as f:
        f.write(str(server.sockets[0].getsockname()[1]))
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
