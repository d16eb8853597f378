#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 that holds every chunk back for a while in each
direction: a round trip of 2 x DELAY, for kernels without netem.
    delay_proxy.py LISTEN_PORT TARGET_PORT DELAY_MS
Prints "ready" once it listens."""
import asyncio
import sys
import time


async def pipe(reader, writer, delay):
    # Each chunk leaves delay after it came, in order, as on a slower wire.
    queue = asyncio.Queue()

    async def send():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        writer.close()

    sender = asyncio.create_task(send())
    try:
        while data := await reader.read(65536):
            queue.put_nowait((time.monotonic() + delay, data))
    except ConnectionError:
        pass
    queue.put_nowait((0, None))
    await sender


async def main():
    listen, target, delay = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]) / 1000

    async def client(reader, writer):
        try:
            up_reader, up_writer = await asyncio.open_connection("127.0.0.1", target)
        except OSError:
            writer.close()
            return
        # One side gone ends both: ser2net must see its client leave, else it
        # keeps the device and reads what the next user's chip says.
        tasks = [asyncio.create_task(pipe(reader, up_writer, delay)),
                 asyncio.create_task(pipe(up_reader, writer, delay))]
        await asyncio.wait(tasks, return_when=asyncio.FIRST_COMPLETED)
        for t in tasks:
            t.cancel()
        for w in (writer, up_writer):
            w.close()

    server = await asyncio.start_server(client, "127.0.0.1", listen)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


asyncio.run(main())
