#include "encoder_pool.h"

#include "recorder_logic.h"

// The first picture no worker has taken yet, or null.
static PoolPicture* NextWaiting(EncoderPool* pool)
{
    for (PoolPicture& picture : pool->pictures) {
        if (picture.state == PICTURE_WAITING) {
            return &picture;
        }
    }
    return nullptr;
}

// A picture stays where it is in the queue while it is encoded: the writer takes only
// done ones from the front, and the deque's other ends moving keep it in place.
static void EncodeWorker(EncoderPool* pool)
{
    for (;;) {
        PoolPicture* picture;
        bool leaveOut;
        {
            std::unique_lock<std::mutex> guard(pool->lock);
            pool->changed.wait(guard, [pool] {
                return NextWaiting(pool) != nullptr || pool->closed;
            });
            picture = NextWaiting(pool);
            if (picture == nullptr) {
                return;
            }
            picture->state = PICTURE_ENCODING;
            if (!pool->spare.empty()) {
                picture->jpeg.swap(pool->spare.back());
                pool->spare.pop_back();
            }
            leaveOut = pool->leavingOut;
        }
        bool encoded = false;
        if (!leaveOut) {
            BgrxImage image = pool->image;
            image.topRow = pool->pixels[picture->buffer];
            encoded = pool->encode(image, JPEG_QUALITY, &picture->jpeg);
        }
        pool->release(pool->context, picture->buffer);
        {
            std::lock_guard<std::mutex> guard(pool->lock);
            picture->encoded = encoded;
            picture->state = PICTURE_DONE;
        }
        pool->changed.notify_all();
    }
}

void StartEncoders(EncoderPool* pool, uint32_t workers, const BgrxImage& image,
                   const std::vector<const uint8_t*>& pixels, EncodePicture encode,
                   ReleaseBuffer release, void* context)
{
    pool->image = image;
    pool->pixels = pixels;
    pool->encode = encode != nullptr ? encode : EncodeBaselineJpeg;
    pool->release = release;
    pool->context = context;
    pool->closed = false;
    pool->leavingOut = false;
    for (uint32_t i = 0; i < workers; ++i) {
        pool->workers.emplace_back(EncodeWorker, pool);
    }
}

void SubmitPicture(EncoderPool* pool, uint64_t slot, int buffer)
{
    {
        std::lock_guard<std::mutex> guard(pool->lock);
        pool->pictures.push_back({slot, buffer, buffer < 0 ? PICTURE_DONE : PICTURE_WAITING,
                                  false, {}});
    }
    pool->changed.notify_all();
}

void CloseSubmissions(EncoderPool* pool)
{
    {
        std::lock_guard<std::mutex> guard(pool->lock);
        pool->closed = true;
    }
    pool->changed.notify_all();
}

void LeaveOutTheRest(EncoderPool* pool)
{
    std::lock_guard<std::mutex> guard(pool->lock);
    pool->leavingOut = true;
}

bool TakePicture(EncoderPool* pool, PoolPicture* picture)
{
    std::unique_lock<std::mutex> guard(pool->lock);
    if (picture->jpeg.capacity() > 0) {
        pool->spare.push_back(std::move(picture->jpeg));
    }
    pool->changed.wait(guard, [pool] {
        return pool->pictures.empty() ? pool->closed
                                      : pool->pictures.front().state == PICTURE_DONE;
    });
    if (pool->pictures.empty()) {
        return false;
    }
    *picture = std::move(pool->pictures.front());
    pool->pictures.pop_front();
    return true;
}

void StopEncoders(EncoderPool* pool)
{
    for (std::thread& worker : pool->workers) {
        worker.join();
    }
    pool->workers.clear();
}
